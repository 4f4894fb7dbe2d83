#include "cli/FileFrameTrace.h"

#include "common/FileTarget.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <ctime>

namespace dlu {

FileFrameTrace::FileFrameTrace(const std::string& path) {
    if (path == "-") {
        file_ = stderr;
    } else {
        // Never blocks on a pipe nobody reads, never follows a link at the name.
        const int fd = ::open(path.c_str(),
                              O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY |
                                  O_CLOEXEC,
                              0666);
        struct stat st {};
        if (fd < 0) {
            const int e = errno;
            const std::string kind = nonRegularTarget(path);
            error_ = kind.empty() ? std::string(std::strerror(e))
                                  : "it is " + kind + ", not a regular file";
            return;
        }
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            const std::string kind = nonRegularTarget(path);
            error_ = "it is " + (kind.empty() ? std::string("not a regular file") : kind) +
                     (kind.empty() ? "" : ", not a regular file");
            return;
        }
        const int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        file_ = ::fdopen(fd, "a");
        if (file_ == nullptr) {
            error_ = std::strerror(errno);
            ::close(fd);
            return;
        }
        owned_ = true;
    }
}

FileFrameTrace::~FileFrameTrace() {
    if (owned_ && file_ != nullptr) {
        std::fclose(file_);
    }
}

std::string FileFrameTrace::describe(FrameDirection direction,
                                     std::span<const std::uint8_t> bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string line = direction == FrameDirection::Sent ? ">>" : "<<";
    line.reserve(3 + 3 * bytes.size());
    for (const std::uint8_t b : bytes) {
        line += ' ';
        line += kHex[b >> 4];
        line += kHex[b & 0x0F];
    }
    return line;
}

void FileFrameTrace::frame(FrameDirection direction, std::chrono::system_clock::time_point when,
                           std::span<const std::uint8_t> bytes) {
    if (file_ == nullptr) {
        return;
    }
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()) % 1000;
    std::tm local{};
    localtime_r(&t, &local);
    std::fprintf(file_, "%02d:%02d:%02d.%03d %s\n", local.tm_hour, local.tm_min, local.tm_sec,
                 static_cast<int>(ms.count()), describe(direction, bytes).c_str());
    std::fflush(file_);
}

} // namespace dlu
