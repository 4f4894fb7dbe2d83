#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace dlu {

// Writes `bytes` to a new file beside `target` and renames it over `target` only once it is
// complete and on disk. The new file is created exclusively under a unique name in the
// target's folder (a link planted there is never followed) and takes the permissions of the
// file it replaces. Something at `target` that is not a regular file (a link, a device node,
// a named pipe, a folder) is never replaced nor written through: false. On failure the old
// file, if any, is left exactly as it was.
bool replaceFileAtomically(const std::filesystem::path& target,
                           std::span<const std::uint8_t> bytes);

} // namespace dlu
