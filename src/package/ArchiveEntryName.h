#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dlu {

// Longest archive entry name we extract (bytes).
inline constexpr std::size_t kMaxEntryNameLength = 1024;

// The path, relative to the unpack folder and with '/' separators, under which an archive
// entry may be extracted; nothing when the name must not be extracted. Refused: empty names,
// names with a zero byte or a ':' (drive letters, alternate streams), absolute names ('/' or
// '\' first), and names with a ".." part, so that nothing is ever written outside the unpack
// folder. Both '/' and '\' separate parts; "." and empty parts are dropped. A folder entry
// keeps its trailing '/'.
std::optional<std::string> safeEntryPath(std::string_view name);

} // namespace dlu
