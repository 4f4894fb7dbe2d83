#include "cli/RequestLog.h"

#include "comm/LoaderFrame.h"
#include "common/TextFormat.h"

namespace dlu {

namespace {

const char* commandName(std::uint8_t command) {
    switch (command) {
    case frame::kTest:
        return "test";
    case frame::kMode:
        return "mode";
    case frame::kBeginDownload:
        return "begin download";
    case frame::kRead:
        return "read";
    case frame::kWrite:
        return "write";
    case frame::kDownload:
        return "download block";
    case frame::kPassword:
        return "password";
    case frame::kUpload:
        return "upload block";
    case frame::kErrorCommand:
        return "error";
    default:
        return nullptr;
    }
}

} // namespace

RequestLog::RequestLog(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

std::string RequestLog::describe(FrameDirection direction, std::span<const std::uint8_t> bytes) {
    const char* arrow = direction == FrameDirection::Sent ? "->" : "<-";
    if (bytes.size() < frame::kPrefixSize || bytes[0] != frame::kHead1 ||
        bytes[1] != frame::kHead2) {
        return formatText("%s %zu bytes that make no frame", arrow, bytes.size());
    }
    const char* name = commandName(bytes[2]);
    const std::string what = name != nullptr ? name : formatText("command 0x%02X", bytes[2]);
    return formatText(
        "%s %s%s (%zu-byte frame)", arrow, what.c_str(),
        direction == FrameDirection::Sent || bytes[2] == frame::kErrorCommand ? "" : " answer",
        bytes.size());
}

void RequestLog::frame(FrameDirection direction, std::chrono::system_clock::time_point,
                       std::span<const std::uint8_t> bytes) {
    // On a terminal the progress line is cleared first; it is drawn again with its next step.
    std::fprintf(out_, "%s  %s\n", terminal_ ? "\r\033[K" : "", describe(direction, bytes).c_str());
}

} // namespace dlu
