#include "common/FileTarget.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dlu {

namespace {

std::string kindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return {};
    }
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device node";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

} // namespace

std::string nonRegularTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return {};
    }
    return kindOf(st.st_mode);
}

std::string nonRegularSource(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return kindOf(st.st_mode);
}

int openRegularForReading(const std::string& path, std::string& why) {
    // O_NONBLOCK: opening a named pipe nobody writes to, or a device, must not wait.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "it is " + kindOf(st.st_mode) + ", not a regular file";
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

std::optional<std::vector<std::uint8_t>> readRegularFile(const std::string& path,
                                                         std::size_t limit, std::string& why) {
    const int fd = openRegularForReading(path, why);
    if (fd < 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t kPiece = 64 * 1024;
    for (;;) {
        const std::size_t had = bytes.size();
        if (had > limit) {
            break;
        }
        bytes.resize(had + std::min(kPiece, limit + 1 - had));
        const ssize_t n = ::read(fd, bytes.data() + had, bytes.size() - had);
        if (n < 0 && errno == EINTR) {
            bytes.resize(had);
            continue;
        }
        if (n < 0) {
            why = std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        bytes.resize(had + static_cast<std::size_t>(n));
        if (n == 0) {
            break;
        }
    }
    ::close(fd);
    return bytes;
}

std::string withDefaultExtension(const std::string& path, const std::string& extension) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (name.empty() || (dot != std::string::npos && dot + 1 < name.size())) {
        return path;
    }
    return path + extension;
}

} // namespace dlu
