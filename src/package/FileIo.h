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

// A regular file opened for reading (a package the user links to is read through the link);
// it stays readable through the descriptor when its name is removed.
class ReadFile {
public:
    explicit ReadFile(const std::string& path);
    ~ReadFile();
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;

    // Open, and a regular file.
    bool ok() const { return fd_ >= 0; }
    std::uint64_t size() const { return size_; }
    // Fills `data` from the current position; false when the file ends first or fails.
    bool read(std::span<std::uint8_t> data);

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// A file that did not exist, created (never through a link) for writing.
class NewFile {
public:
    explicit NewFile(std::string path);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    bool write(std::span<const std::uint8_t> data);
    // True when every byte reached the file.
    bool close();
    // Closes and removes what was written.
    void discard();

private:
    std::string path_;
    int fd_ = -1;
    bool failed_ = false;
};

// Copies `from` to `to`, which must not exist yet, in pieces; never writes through a link.
// False (and nothing left at `to`) on any failure.
bool copyToNewFile(const std::string& from, const std::string& to);

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

// Makes a new folder of mode 0700 from `pattern` (ending in XXXXXX) under $XDG_RUNTIME_DIR
// when it is ours alone, else $TMPDIR, else /tmp; gives its path without a trailing slash.
// With `lock`, the folder gets its owner file (kOwnerFileName: this process's id, locked for
// as long as `*lock`, the descriptor, stays open; the lock goes with the process, however it
// ends), so that removeStaleFolders can tell a live folder from a killed run's.
std::optional<std::string> makePrivateFolder(std::string_view pattern, int* lock = nullptr);

inline constexpr std::string_view kOwnerFileName = "owner.pid";

// Removes the working folders a killed run left: in the folders makePrivateFolder uses, every
// folder named `prefix` + more, owned by this user, of mode 0700, not a link, whose owner
// file exists and is no longer locked by a live process. A folder without an owner file (one
// being made this moment) or with a live owner is left alone. Gives how many went.
std::size_t removeStaleFolders(std::string_view prefix);

} // namespace dlu::fileio
