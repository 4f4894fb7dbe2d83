#include "package/FileIo.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dlu::fileio {

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::path(path), ec);
}

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(path), ec);
}

std::optional<std::vector<std::uint8_t>> readAll(const std::string& path, std::size_t limit) {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<unsigned long long>(size) > limit) {
        return std::nullopt;
    }
    in.seekg(0, std::ios::beg);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    if (!data.empty() && !in.read(reinterpret_cast<char*>(data.data()), size)) {
        return std::nullopt;
    }
    return data;
}

std::optional<std::vector<std::uint8_t>> readPrefix(const std::string& path, std::size_t count) {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> data(count);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(count));
    if (in.bad()) {
        return std::nullopt;
    }
    data.resize(static_cast<std::size_t>(in.gcount()));
    return data;
}

bool writeAll(const std::string& path, std::span<const std::uint8_t> data) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    if (!out) {
        return false;
    }
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    out.close();
    return static_cast<bool>(out);
}

bool copyFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::copy_file(fs::path(from), fs::path(to), fs::copy_options::overwrite_existing, ec);
    return !ec && isRegularFile(to);
}

bool removeFile(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::path(path);
    if (fs::is_directory(fs::symlink_status(p, ec))) {
        return false;
    }
    fs::remove(p, ec);
    return !fs::exists(fs::symlink_status(p, ec));
}

ReadFile::ReadFile(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd_);
        fd_ = -1;
    }
    size_ = fd_ >= 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

ReadFile::~ReadFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool ReadFile::read(std::span<std::uint8_t> data) {
    while (fd_ >= 0 && !data.empty()) {
        const ssize_t n = ::read(fd_, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(n));
    }
    return fd_ >= 0;
}

NewFile::NewFile(std::string path) : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
}

NewFile::~NewFile() { close(); }

bool NewFile::write(std::span<const std::uint8_t> data) {
    while (fd_ >= 0 && !failed_ && !data.empty()) {
        const ssize_t n = ::write(fd_, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failed_ = true;
            break;
        }
        data = data.subspan(static_cast<std::size_t>(n));
    }
    return fd_ >= 0 && !failed_;
}

bool NewFile::close() {
    if (fd_ < 0) {
        return false;
    }
    if (::close(fd_) != 0) {
        failed_ = true;
    }
    fd_ = -1;
    return !failed_;
}

void NewFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        ::unlink(path_.c_str());
    }
}

bool copyToNewFile(const std::string& from, const std::string& to) {
    ReadFile in(from);
    if (!in.ok()) {
        return false;
    }
    NewFile out(to);
    std::vector<std::uint8_t> piece(std::size_t{1} << 20);
    for (std::uint64_t left = in.size(); out.ok() && left > 0;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
        if (!in.read(std::span(piece).first(n)) || !out.write(std::span(piece).first(n))) {
            out.discard();
            return false;
        }
        left -= n;
    }
    if (!out.close()) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

SavedStatus SavedStatus::of(const std::string& path) {
    SavedStatus s;
    std::error_code ec;
    const fs::path p = fs::path(path);
    const auto time = fs::last_write_time(p, ec);
    if (ec) {
        return s;
    }
    const auto status = fs::status(p, ec);
    if (ec) {
        return s;
    }
    s.valid_ = true;
    s.mtimeTicks_ = static_cast<long long>(time.time_since_epoch().count());
    s.perms_ = static_cast<unsigned>(status.permissions());
    return s;
}

void SavedStatus::restore(const std::string& path) const {
    if (!valid_) {
        return;
    }
    std::error_code ec;
    const fs::path p = fs::path(path);
    fs::permissions(p, static_cast<fs::perms>(perms_), fs::perm_options::replace, ec);
    fs::last_write_time(p, fs::file_time_type(fs::file_time_type::duration(mtimeTicks_)), ec);
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::optional<std::string> findNoCase(const std::string& folder, std::string_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(fs::path(folder + std::string(name)), ec))) {
        return folder + std::string(name);
    }
    std::optional<std::string> found;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (equalNoCase(entry, name) && (!found || entry < *found)) {
            found = entry;
        }
    }
    if (!found) {
        return std::nullopt;
    }
    return folder + *found;
}

namespace {

// A folder of the environment that may hold our working folder: an absolute path to a folder
// that we can write and enter. The runtime folder must be ours alone, as it is meant to be,
// and itself a folder, not a link to one; a shared folder such as /tmp is safe for mkdtemp.
bool usableBase(const char* value, bool mustBeOurs) {
    if (value == nullptr || value[0] != '/') {
        return false;
    }
    struct stat st {};
    const int rc = mustBeOurs ? lstat(value, &st) : stat(value, &st);
    if (rc != 0 || !S_ISDIR(st.st_mode) || access(value, W_OK | X_OK) != 0) {
        return false;
    }
    return !mustBeOurs || (st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0);
}

// The folders that may hold our working folders, in the order of preference.
std::vector<std::string> workingBases() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* tmp = std::getenv("TMPDIR");
    const std::pair<const char*, bool> bases[] = {{runtime, true}, {tmp, false}, {"/tmp", false}};
    std::vector<std::string> usable;
    for (const auto& [base, mustBeOurs] : bases) {
        if (usableBase(base, mustBeOurs) &&
            std::find(usable.begin(), usable.end(), base) == usable.end()) {
            usable.emplace_back(base);
        }
    }
    return usable;
}

// The owner file of a new working folder: made under a passing name, locked, and only then
// given its own name, so that nobody ever finds it unlocked while its process lives.
int makeOwnerFile(const std::string& folder) {
    const std::string passing = folder + "/." + std::string(kOwnerFileName);
    const int fd = ::open(passing.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0600);
    if (fd < 0) {
        return -1;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::write(fd, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size()) ||
        ::rename(passing.c_str(), (folder + "/" + std::string(kOwnerFileName)).c_str()) != 0) {
        ::close(fd);
        ::unlink(passing.c_str());
        return -1;
    }
    return fd;
}

} // namespace

std::optional<std::string> makePrivateFolder(std::string_view pattern, int* lock) {
    for (const std::string& base : workingBases()) {
        std::string path = base + "/" + std::string(pattern);
        // mkdtemp makes a new folder of mode 0700 under a name nobody could have chosen.
        if (mkdtemp(path.data()) == nullptr) {
            continue;
        }
        if (lock != nullptr) {
            *lock = makeOwnerFile(path);
            if (*lock < 0) {
                std::error_code ec;
                fs::remove_all(path, ec);
                continue;
            }
        }
        return path;
    }
    return std::nullopt;
}

std::size_t removeStaleFolders(std::string_view prefix) {
    std::size_t removed = 0;
    for (const std::string& base : workingBases()) {
        std::error_code ec;
        for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
                continue;
            }
            const std::string folder = it->path().string();
            struct stat st {};
            if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
                st.st_uid != ::geteuid() || (st.st_mode & 07777) != 0700) {
                continue;
            }
            const std::string owner = folder + "/" + std::string(kOwnerFileName);
            const int fd = ::open(owner.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            struct stat os {};
            // Holding the lock while removing: an owner that is gone cannot come back, and two
            // starts at once do not both remove.
            if (::fstat(fd, &os) == 0 && S_ISREG(os.st_mode) && os.st_uid == ::geteuid() &&
                ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                std::error_code removeError;
                fs::remove_all(folder, removeError);
                if (!removeError) {
                    ++removed;
                }
            }
            ::close(fd);
        }
    }
    return removed;
}

} // namespace dlu::fileio
