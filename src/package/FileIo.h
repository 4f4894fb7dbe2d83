#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
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
