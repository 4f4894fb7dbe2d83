#pragma once

#include <string>
#include <string_view>

namespace dlu {

// The help file lies in the parent folder of the program's folder: a program at
// /opt/a/b/downloader looks for /opt/a/TORVA.chm. Both separators are understood, so that a
// path of either platform gives the same answer; the result keeps the separator it cut at.
std::string helpFilePath(std::string_view programPath);

inline constexpr std::string_view kHelpFileName = "TORVA.chm";

} // namespace dlu
