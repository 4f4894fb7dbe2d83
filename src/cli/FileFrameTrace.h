#pragma once

#include "comm/FrameTrace.h"

#include <cstdio>
#include <string>

namespace dlu {

// Writes every frame as one line: local time with milliseconds, direction, hex bytes.
//   10:42:07.123 >> 05 64 74 00 07 FF 01 00 54 45 53 54 9A 3B
// A path ending in ".pcapng" (any letter case) gets a pcapng capture instead, for Wireshark:
// a section header, one interface of link type USER0 (147) and one enhanced packet per frame,
// little-endian, with the time in microseconds since the epoch. Each packet is a 4-byte
// header of ours followed by the frame as it went over the link (masked as in the lines):
//   byte 0  'L' (0x4C)
//   byte 1  version, 1
//   byte 2  direction: 0 to the PLC, 1 from the PLC
//   byte 3  connection type id (0 serial, 1 dial-up, 2 leased line, 3 Ethernet,
//           4 simulator, 5 USB; 255 unknown)
class FileFrameTrace final : public FrameTrace {
public:
    enum class Format { Lines, Pcapng };
    static constexpr std::uint8_t kPacketMagic = 0x4C;
    static constexpr std::uint8_t kPacketVersion = 1;
    static constexpr std::uint32_t kLinkTypeUser0 = 147;

    // The format a trace file named `path` gets.
    static Format formatFor(const std::string& path);

    // Appends to `path`, which must be a regular file or not exist yet (a named pipe, a
    // device, a link or a folder is refused without waiting on it); "-" writes to standard
    // error. A pcapng trace appended to an existing capture starts a new section in it.
    // `connectionType` goes into every pcapng packet.
    explicit FileFrameTrace(const std::string& path, std::uint8_t connectionType = 255);
    ~FileFrameTrace() override;
    FileFrameTrace(const FileFrameTrace&) = delete;
    FileFrameTrace& operator=(const FileFrameTrace&) = delete;

    bool ok() const { return file_ != nullptr; }
    // Whether a frame could not be written (a full disk, say). The first failure is told on
    // standard error, once, and the trace stops there; the command goes on.
    bool failed() const { return failed_; }
    // Why the file could not be opened, in the system's words or as what the path is.
    const std::string& error() const { return error_; }
    void frame(FrameDirection direction, std::chrono::system_clock::time_point when,
               std::span<const std::uint8_t> bytes) override;

    // The line for one frame, without the time.
    static std::string describe(FrameDirection direction, std::span<const std::uint8_t> bytes);
    // The pcapng blocks: the section header with the interface, and the packet of one frame.
    static std::string pcapngHeader();
    static std::string pcapngPacket(FrameDirection direction, std::uint8_t connectionType,
                                    std::chrono::system_clock::time_point when,
                                    std::span<const std::uint8_t> bytes);

private:
    void fail(int error);
    bool put(const std::string& bytes);

    std::string path_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
    bool owned_ = false;
    Format format_ = Format::Lines;
    std::uint8_t connectionType_ = 255;
    std::string error_;
};

} // namespace dlu
