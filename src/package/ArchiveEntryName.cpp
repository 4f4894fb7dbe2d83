#include "package/ArchiveEntryName.h"

namespace dlu {

std::optional<std::string> safeEntryPath(std::string_view name) {
    if (name.empty() || name.size() > kMaxEntryNameLength) {
        return std::nullopt;
    }
    if (name.find('\0') != std::string_view::npos || name.find(':') != std::string_view::npos) {
        return std::nullopt;
    }
    if (name.front() == '/' || name.front() == '\\') {
        return std::nullopt;
    }
    const bool folder = name.back() == '/' || name.back() == '\\';
    std::string out;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) {
            end = name.size();
        }
        const std::string_view part = name.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return std::nullopt;
        }
        if (!out.empty()) {
            out += '/';
        }
        out += part;
    }
    if (out.empty()) {
        return std::nullopt;
    }
    if (folder) {
        out += '/';
    }
    return out;
}

} // namespace dlu
