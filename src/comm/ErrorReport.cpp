#include "comm/ErrorReport.h"

#include "comm/Channel.h"
#include "comm/LoaderFrame.h"
#include "common/Prompter.h"
#include "common/StringTable.h"

#include <array>
#include <string>
#include <string_view>

namespace dlu {

namespace {

constexpr std::uint8_t kLastTextedPlcError = 20;
constexpr std::uint8_t kLastPlcErrorCode = 25;
constexpr std::uint8_t kPlcNoError = 26;

// Indexed by the connection type id; USB has no text (0).
constexpr std::array<int, 6> kConnectionErrorTexts{
    Msg::SerialError,   Msg::DialUpError,    Msg::LineModemError,
    Msg::EthernetError, Msg::SimulatorError, 0};

} // namespace

bool ErrorReport::report(std::uint8_t code, std::uint8_t connectionType, Variant variant,
                         std::string_view channelCause, std::string_view step) const {
    std::string joined(step);
    if (!step.empty() && !channelCause.empty()) {
        joined += ": ";
    }
    joined += channelCause;
    const std::string_view cause = joined;
    switch (code) {
    case kChannelPortMissing:
    case kChannelWriteFailed:
    case kChannelNotOpen:
        prompter_.messageWithCause(messages_(Msg::PortNotOpen), cause);
        return false;
    case kChannelLinkLost:
    case kChannelTimeout: {
        int id = Msg::PlcError;
        if (variant == Variant::Session) {
            id = connectionType < kConnectionErrorTexts.size() ? kConnectionErrorTexts[connectionType]
                                                               : 0;
        }
        const std::string_view text = id != 0 ? messages_(id) : std::string_view{};
        if (!text.empty()) {
            prompter_.messageWithCause(text, cause);
        }
        return false;
    }
    case kErrorFrameDoesNotFit:
    case kErrorStationMismatch:
    case kErrorSequenceMismatch:
    case kErrorCheckCode:
        prompter_.messageWithCause(messages_(Msg::BadFrame), step);
        return false;
    // The link itself is fine after a local refusal: the session stays as it was.
    case kErrorRequestRefused:
        prompter_.message(messages_(Msg::RequestTooLarge));
        return true;
    case kErrorNoAttempts:
        prompter_.message(messages_(Msg::NoAttempts));
        return true;
    case kErrorNoAddress:
        prompter_.message(messages_(Msg::NoDeviceAddress));
        return true;
    case kPlcNoError:
        return true;
    default:
        break;
    }
    // The PLC's code and its text; the step goes under the text, or under the first box when
    // the code has none.
    const bool texted = code >= 1 && code <= kLastPlcErrorCode;
    prompter_.messageWithCause(messages_(Msg::CpuErrorCode), texted ? std::string_view{} : step);
    if (code >= 1 && code <= kLastTextedPlcError) {
        prompter_.messageWithCause(messages_(Msg::PlcErrorBase + code), step);
    } else if (texted) {
        // The string table has no texts for these codes: name the code itself.
        prompter_.messageWithCause("ERR(" + std::to_string(code) + ")", step);
    }
    return true;
}

} // namespace dlu
