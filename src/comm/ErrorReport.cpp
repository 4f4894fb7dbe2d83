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

// Indexed by the connection type id; USB has no text.
constexpr std::array<std::string_view, 6> kConnectionErrorTexts{
    "RS232 Error", "Dial-up Error", "Line Modem Error", "Ethernet Error", "Simulator Error", ""};
constexpr std::string_view kDownloadErrorText = "PLC Error";
// Requests refused by this program before anything was sent.
constexpr std::string_view kRequestRefusedText =
    "The request was not sent: it exceeds what one frame of the loader protocol can carry.";
constexpr std::string_view kNoAttemptsText =
    "The request was not sent: the number of attempts in the connection settings is 0.";
constexpr std::string_view kNoAddressText =
    "The request was not sent: the device has no address for the project's CPU type.";

} // namespace

bool ErrorReport::report(std::uint8_t code, std::uint8_t connectionType, Variant variant) const {
    switch (code) {
    case kChannelPortMissing:
    case kChannelWriteFailed:
    case kChannelNotOpen:
        prompter_.message(messages_(Msg::PortNotOpen));
        return false;
    case kChannelLinkLost:
    case kChannelTimeout: {
        std::string_view text = kDownloadErrorText;
        if (variant == Variant::Session) {
            text = connectionType < kConnectionErrorTexts.size()
                       ? kConnectionErrorTexts[connectionType]
                       : std::string_view{};
        }
        if (!text.empty()) {
            prompter_.message(text);
        }
        return false;
    }
    case kErrorFrameTooLong:
    case kErrorStationMismatch:
    case kErrorSequenceMismatch:
    case kErrorCheckCode:
        prompter_.message(messages_(Msg::BadFrame));
        return false;
    // The link itself is fine after a local refusal: the session stays as it was.
    case kErrorRequestRefused:
        prompter_.message(kRequestRefusedText);
        return true;
    case kErrorNoAttempts:
        prompter_.message(kNoAttemptsText);
        return true;
    case kErrorNoAddress:
        prompter_.message(kNoAddressText);
        return true;
    case kPlcNoError:
        return true;
    default:
        break;
    }
    prompter_.message(messages_(Msg::CpuErrorCode));
    if (code >= 1 && code <= kLastTextedPlcError) {
        prompter_.message(messages_(Msg::PlcErrorBase + code));
    } else if (code > kLastTextedPlcError && code <= kLastPlcErrorCode) {
        // The string table has no texts for these codes: name the code itself.
        prompter_.message("ERR(" + std::to_string(code) + ")");
    }
    return true;
}

} // namespace dlu
