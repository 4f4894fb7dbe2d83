#pragma once

#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/ProjectListing.h"

#include <optional>
#include <string>

namespace dlu {

// What the main dialog does with a chosen package: open it, read the project information,
// build the ST program table for a Linux-family project, and clean up. Nothing when the
// package cannot be used (message 400 has then been shown).
std::optional<PackageContents> readPackage(const std::string& packagePath, CFileControl& reader,
                                           CFileEncryption& encryption);

} // namespace dlu
