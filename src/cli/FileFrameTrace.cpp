#include "cli/FileFrameTrace.h"

#include "common/FileTarget.h"
#include "common/TerminalText.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dlu {

FileFrameTrace::Format FileFrameTrace::formatFor(const std::string& path) {
    static constexpr std::string_view kExt = ".pcapng";
    if (path.size() < kExt.size()) {
        return Format::Lines;
    }
    const std::string_view tail = std::string_view(path).substr(path.size() - kExt.size());
    for (std::size_t i = 0; i < kExt.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != kExt[i]) {
            return Format::Lines;
        }
    }
    return Format::Pcapng;
}

FileFrameTrace::FileFrameTrace(const std::string& path, std::uint8_t connectionType)
    : path_(path), format_(formatFor(path)), connectionType_(connectionType) {
    if (path == "-") {
        file_ = stderr;
    } else {
        // Never blocks on a pipe nobody reads, never follows a link at the name.
        const int fd = ::open(
            path.c_str(),
            O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
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
    if (format_ == Format::Pcapng && !put(pcapngHeader())) {
        fail(errno);
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

namespace {

void put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void put32(std::string& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((v >> shift) & 0xFF);
    }
}

// A block: type, total length, body padded to 32 bits, total length again.
std::string block(std::uint32_t type, std::string body) {
    body.append((4 - body.size() % 4) % 4, '\0');
    const auto total = static_cast<std::uint32_t>(body.size() + 12);
    std::string out;
    put32(out, type);
    put32(out, total);
    out += body;
    put32(out, total);
    return out;
}

constexpr std::uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
constexpr std::uint32_t kInterfaceDescriptionBlock = 1;
constexpr std::uint32_t kEnhancedPacketBlock = 6;

} // namespace

std::string FileFrameTrace::pcapngHeader() {
    std::string shb;
    put32(shb, 0x1A2B3C4D); // byte-order magic
    put16(shb, 1);          // version 1.0
    put16(shb, 0);
    put32(shb, 0xFFFFFFFF); // section length not given
    put32(shb, 0xFFFFFFFF);
    std::string idb;
    put16(idb, static_cast<std::uint16_t>(kLinkTypeUser0));
    put16(idb, 0);
    put32(idb, 0); // no snap length: whole frames
    // Timestamps in microseconds, the default resolution: no if_tsresol option.
    return block(kSectionHeaderBlock, shb) + block(kInterfaceDescriptionBlock, idb);
}

std::string FileFrameTrace::pcapngPacket(FrameDirection direction, std::uint8_t connectionType,
                                         std::chrono::system_clock::time_point when,
                                         std::span<const std::uint8_t> bytes) {
    const auto us = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count());
    const auto length = static_cast<std::uint32_t>(bytes.size() + 4);
    std::string epb;
    put32(epb, 0); // interface 0
    put32(epb, static_cast<std::uint32_t>(us >> 32));
    put32(epb, static_cast<std::uint32_t>(us & 0xFFFFFFFF));
    put32(epb, length); // captured
    put32(epb, length); // original
    epb += static_cast<char>(kPacketMagic);
    epb += static_cast<char>(kPacketVersion);
    epb += static_cast<char>(direction == FrameDirection::Sent ? 0 : 1);
    epb += static_cast<char>(connectionType);
    epb.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return block(kEnhancedPacketBlock, std::move(epb));
}

bool FileFrameTrace::put(const std::string& bytes) {
    errno = 0;
    return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size() &&
           std::fflush(file_) == 0 && std::ferror(file_) == 0;
}

void FileFrameTrace::frame(FrameDirection direction, std::chrono::system_clock::time_point when,
                           std::span<const std::uint8_t> bytes) {
    if (file_ == nullptr || failed_) {
        return;
    }
    if (format_ == Format::Pcapng) {
        if (!put(pcapngPacket(direction, connectionType_, when, bytes))) {
            fail(errno);
        }
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
