#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dlu::fileio {

// Small file helpers of the package code. Paths are UTF-8 texts; nothing here throws for a
// file system failure, it answers false or nothing instead.

bool exists(const std::string& path);
bool isRegularFile(const std::string& path);

// The whole file, or nothing when it cannot be read or is larger than `limit` bytes.
std::optional<std::vector<std::uint8_t>> readAll(const std::string& path,
                                                 std::size_t limit = std::size_t{1} << 31);

// Up to `count` bytes from the start of the file (fewer when it is shorter).
std::optional<std::vector<std::uint8_t>> readPrefix(const std::string& path, std::size_t count);

// Creates or truncates the file and writes `data`; false on any failure.
bool writeAll(const std::string& path, std::span<const std::uint8_t> data);

// Copies `from` over `to`; false when `to` is not a regular file afterwards.
bool copyFile(const std::string& from, const std::string& to);

// Deletes a file (never a folder); true when nothing is left at the path.
bool removeFile(const std::string& path);

// Letter case of ASCII names does not matter to the programming tool: the entry of `folder`
// (which ends with '/') whose name equals `name` ignoring ASCII case, as folder + its name
// on disk; an exact match is preferred. Nothing when there is none.
std::optional<std::string> findNoCase(const std::string& folder, std::string_view name);

// The two names are equal ignoring ASCII letter case.
bool equalNoCase(std::string_view a, std::string_view b);

// Modification time and permissions, to put back after a file has been rewritten.
class SavedStatus {
public:
    static SavedStatus of(const std::string& path);
    void restore(const std::string& path) const;

private:
    bool valid_ = false;
    long long mtimeTicks_ = 0;
    unsigned perms_ = 0;
};

} // namespace dlu::fileio
