#include "cli/FileFrameTrace.h"

#include <cerrno>
#include <ctime>

namespace dlu {

FileFrameTrace::FileFrameTrace(const std::string& path) {
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
