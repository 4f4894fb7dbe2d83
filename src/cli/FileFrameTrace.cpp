#include "cli/FileFrameTrace.h"

#include "common/TerminalText.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace dlu {

FileFrameTrace::FileFrameTrace(const std::string& path) : path_(path) {
    if (path == "-") {
        file_ = stderr;
    } else {
        file_ = std::fopen(path.c_str(), "a");
        error_ = file_ == nullptr ? errno : 0;
        owned_ = true;
    }
}

FileFrameTrace::~FileFrameTrace() {
    if (owned_ && file_ != nullptr) {
        errno = 0;
        if (std::fclose(file_) != 0 && !failed_) {
            fail(errno);
        }
    }
}

void FileFrameTrace::fail(int error) {
    failed_ = true;
    const std::string where = path_ == "-" ? std::string("standard error") : path_;
    std::fprintf(stderr, "dlutil: cannot write the trace file %s: %s; the trace stops here\n",
                 displaySafe(where).c_str(), std::strerror(error != 0 ? error : EIO));
    std::fflush(stderr);
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
    if (file_ == nullptr || failed_) {
        return;
    }
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()) % 1000;
    std::tm local{};
    localtime_r(&t, &local);
    errno = 0;
    const bool written =
        std::fprintf(file_, "%02d:%02d:%02d.%03d %s\n", local.tm_hour, local.tm_min, local.tm_sec,
                     static_cast<int>(ms.count()), describe(direction, bytes).c_str()) >= 0 &&
        std::fflush(file_) == 0 && std::ferror(file_) == 0;
    if (!written) {
        fail(errno);
    }
}

} // namespace dlu
