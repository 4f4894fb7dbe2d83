#include "common/HelpLocation.h"

namespace dlu {

std::string helpFilePath(std::string_view programPath) {
    // Cut at the last separator (the program's folder), then again, keeping that separator
    // (the parent folder).
    const auto folderEnd = programPath.find_last_of("/\\");
    if (folderEnd == std::string_view::npos) {
        return std::string(kHelpFileName);
    }
    const std::string_view folder = programPath.substr(0, folderEnd);
    const auto parentEnd = folder.find_last_of("/\\");
    if (parentEnd == std::string_view::npos) {
        return std::string(kHelpFileName); // a program in the root folder: nothing above
    }
    return std::string(folder.substr(0, parentEnd + 1)) + std::string(kHelpFileName);
}

} // namespace dlu
