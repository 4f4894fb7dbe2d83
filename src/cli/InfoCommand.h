#pragma once

#include "common/Prompter.h"
#include "common/StringTable.h"
#include "package/ProjectListing.h"

#include <iosfwd>
#include <string>

namespace dlu {

// dlutil info: opens a package as the main dialog does and prints what the dialog shows.
struct InfoOptions {
    std::string package;
    bool json = false;
};

// Exit codes of dlutil info.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNotAPackage = 2;

int runInfo(const InfoOptions& options, Prompter& prompter, const Messages& messages,
            std::ostream& out);

// The two output forms, apart so that they can be checked on their own.
std::string infoText(const PackageContents& contents, const Messages& messages);
std::string infoJson(const PackageContents& contents, const Messages& messages);

} // namespace dlu
