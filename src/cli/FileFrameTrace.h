#pragma once

#include "comm/FrameTrace.h"

#include <cstdio>
#include <string>

namespace dlu {

// Writes every frame as one line: local time with milliseconds, direction, hex bytes.
//   10:42:07.123 >> 05 64 74 00 07 FF 01 00 54 45 53 54 9A 3B
class FileFrameTrace final : public FrameTrace {
public:
    // Appends to `path`, which must be a regular file or not exist yet (a named pipe, a
    // device, a link or a folder is refused without waiting on it); "-" writes to standard
    // error.
    explicit FileFrameTrace(const std::string& path);
    ~FileFrameTrace() override;
    FileFrameTrace(const FileFrameTrace&) = delete;
    FileFrameTrace& operator=(const FileFrameTrace&) = delete;

    bool ok() const { return file_ != nullptr; }
    // Why the file could not be opened, in the system's words or as what the path is.
    const std::string& error() const { return error_; }
    void frame(FrameDirection direction, std::chrono::system_clock::time_point when,
               std::span<const std::uint8_t> bytes) override;

    // The line for one frame, without the time.
    static std::string describe(FrameDirection direction, std::span<const std::uint8_t> bytes);

private:
    std::FILE* file_ = nullptr;
    bool owned_ = false;
    std::string error_;
};

} // namespace dlu
