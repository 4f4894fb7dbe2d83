#include "comm/ErrorReport.h"

#include "comm/FailureCause.h"

#include "common/StringTable.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace dlu {
namespace {

using Texts = std::vector<std::string>;

TEST(ErrorReport, MessagesAndResultByCode) {
    const std::string portText = "Cannot open the COM port.\nPlease check whether the port was "
                                 "already occupied by other application program.";
    const std::string cpuText = "Error code was received from CPU.";
    const std::string frameText = "Error found in the frame received from PLC.";
    using V = ErrorReport::Variant;
    struct Case {
        std::uint8_t code;
        std::uint8_t connectionType;
        V variant;
        Texts texts;
        bool result;
    };
    const std::vector<Case> cases = {
        {0x81, 3, V::Session, {portText}, false},
        {0x84, 0, V::Download, {portText}, false},
        {0x85, 5, V::Session, {portText}, false},
        {0x82, 0, V::Session, {"RS232 Error"}, false},
        {0x83, 1, V::Session, {"Dial-up Error"}, false},
        {0x83, 2, V::Session, {"Line Modem Error"}, false},
        {0x82, 3, V::Session, {"Ethernet Error"}, false},
        {0x83, 4, V::Session, {"Simulator Error"}, false},
        {0x83, 5, V::Session, {}, false},
        {0x82, 5, V::Download, {"PLC Error"}, false},
        {0x83, 3, V::Download, {"PLC Error"}, false},
        {0x86, 3, V::Session, {frameText}, false},
        {0x87, 3, V::Session, {frameText}, false},
        {0x88, 3, V::Download, {frameText}, false},
        {26, 3, V::Session, {}, true},
        {1, 3, V::Session, {cpuText, "ERR (1) : Unknown OP code"}, true},
        {11, 3, V::Session, {cpuText, "ERR(11) : Rx. timeout"}, true},
        {20, 3, V::Download, {cpuText, "ERR(20) : Not supported instruction"}, true},
        {21, 3, V::Session, {cpuText, "ERR(21)"}, true},
        {25, 3, V::Session, {cpuText, "ERR(25)"}, true},
        {0, 3, V::Session, {cpuText}, true},
        {27, 3, V::Session, {cpuText}, true},
        {0x89, 3, V::Download, {frameText}, false}, // check code mismatch
        // Refused here before sending: neither the PLC's error nor the port's.
        // clang-format off
        {0x8A, 3, V::Session, {"The request was not sent: it exceeds what one frame of the "
                               "loader protocol can carry."}, true},
        {0x8B, 3, V::Download, {"The request was not sent: the number of attempts in the "
                                "connection settings is 0."}, true},
        {0x8C, 3, V::Session, {"The request was not sent: the device has no address for the "
                               "project's CPU type."}, true},
        // clang-format on
        {0x8D, 3, V::Session, {cpuText}, true},
    };
    const Messages english(Language::English);
    for (const auto& c : cases) {
        test::ScriptedPrompter prompter;
        const bool result =
            ErrorReport(prompter, english).report(c.code, c.connectionType, c.variant);
        EXPECT_EQ(result, c.result) << "code " << int{c.code};
        EXPECT_EQ(prompter.texts(), c.texts) << "code " << int{c.code};
    }
}

// The step of the failed request goes on the line under the message that reports it: after
// the channel's own cause, under a frame error and under the PLC's error text.
TEST(ErrorReport, TheFailedStepIsNamedUnderItsMessage) {
    using V = ErrorReport::Variant;
    const std::string step = "sending Program 003, block 3 of 7";
    struct Case {
        std::uint8_t code;
        V variant;
        const char* channelCause;
        Texts texts;
    };
    const Case cases[] = {
        {0x82, V::Download, "connection closed by 127.0.0.1:10266",
         {"PLC Error\n" + step + ": connection closed by 127.0.0.1:10266"}},
        {0x83, V::Download, "", {"PLC Error\n" + step}},
        {0x89, V::Download, "", {"Error found in the frame received from PLC.\n" + step}},
        {4, V::Download, "",
         {"Error code was received from CPU.", "ERR(4) : Data size overflow\n" + step}},
        {23, V::Session, "", {"Error code was received from CPU.", "ERR(23)\n" + step}},
        {0, V::Session, "", {"Error code was received from CPU.\n" + step}},
    };
    const Messages english(Language::English);
    for (const auto& c : cases) {
        test::ScriptedPrompter prompter;
        ErrorReport(prompter, english).report(c.code, 3, c.variant, c.channelCause, step);
        EXPECT_EQ(prompter.texts(), c.texts) << "code " << int{c.code};
    }
}

TEST(ErrorReport, KoreanRunShowsTheKoreanTexts) {
    const Messages korean(Language::Korean);
    test::ScriptedPrompter prompter;
    EXPECT_TRUE(ErrorReport(prompter, korean).report(11, 3));
    EXPECT_EQ(prompter.texts(),
              (Texts{std::string(stringTableEntry(602)), std::string(stringTableEntry(628))}));
    EXPECT_NE(prompter.texts()[1], "ERR(11) : Rx. timeout");

    // The link error names follow the language too.
    test::ScriptedPrompter lost;
    EXPECT_FALSE(ErrorReport(lost, korean).report(0x82, 3));
    EXPECT_FALSE(ErrorReport(lost, korean).report(0x83, 3, ErrorReport::Variant::Download));
    EXPECT_EQ(lost.texts(), (Texts{"이더넷 오류", "PLC 오류"}));
}

// The cause line of each way a channel fails. The system's error is handed in here as the
// channel gets it, so that no case needs an address off this machine or a name server.
TEST(ErrorReport, CauseLinesNameTheSystemsReason) {
    struct Case {
        const char* what;
        std::string cause;
        std::string expected;
    };
    const Case cases[] = {
        {"refused", systemErrorCause(ECONNREFUSED, "127.0.0.1:10266"),
         "connection refused by 127.0.0.1:10266"},
        {"unreachable", systemErrorCause(EHOSTUNREACH, "10.0.0.9:10266"),
         "no route to host 10.0.0.9:10266"},
        {"network unreachable", systemErrorCause(ENETUNREACH, "10.0.0.9:10266"),
         "no route to host 10.0.0.9:10266"},
        {"unresolved", unresolvedHostCause("plc1"), "host name plc1 not found"},
        {"connect not answered", systemErrorCause(ETIMEDOUT, "127.0.0.1:10266"),
         "no answer from 127.0.0.1:10266 to the connection request"},
        {"silent peer", silentPeerCause("127.0.0.1:10266", 4, 2000),
         "no answer from 127.0.0.1:10266 to 4 protocol tests of 2 s"},
        {"silent peer, one test", silentPeerCause("/dev/ttyS0", 1, 1500),
         "no answer from /dev/ttyS0 to 1 protocol test of 1500 ms"},
        {"permission", systemErrorCause(EACCES, "/dev/ttyUSB0"),
         "permission denied on /dev/ttyUSB0: the user is not in group dialout"},
        {"permission, socket", systemErrorCause(EACCES, "127.0.0.1:80"),
         "permission denied on 127.0.0.1:80"},
        {"dropped link", systemErrorCause(ECONNRESET, "127.0.0.1:10266"),
         "the connection was closed by 127.0.0.1:10266"},
        {"missing device", systemErrorCause(ENOENT, "/dev/ttyUSB3"), "/dev/ttyUSB3 does not exist"},
        {"busy device", systemErrorCause(EBUSY, "/dev/ttyS1"),
         "/dev/ttyS1 is in use by another program"},
        {"no error", systemErrorCause(0, "/dev/ttyS1"), ""},
        {"address", tcpTarget(0xC0A80A01, 10266), "192.168.10.1:10266"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.cause, c.expected) << c.what;
    }
}

// The message keeps its text and the cause follows on the next line; a failure the PLC
// answered with an error code has no channel cause to add.
TEST(ErrorReport, ChannelFailuresCarryTheirCause) {
    const Messages english(Language::English);
    const std::string cause = "connection refused by 127.0.0.1:10266";
    struct Case {
        std::uint8_t code;
        Texts texts;
    };
    const Case cases[] = {
        {0x81, {std::string(english(Msg::PortNotOpen)) + "\n" + cause}},
        {0x82, {"Ethernet Error\n" + cause}},
        {11, {"Error code was received from CPU.", "ERR(11) : Rx. timeout"}},
    };
    for (const Case& c : cases) {
        test::ScriptedPrompter prompter;
        ErrorReport(prompter, english).report(c.code, 3, ErrorReport::Variant::Session, cause);
        EXPECT_EQ(prompter.texts(), c.texts) << "code " << int{c.code};
    }
}

} // namespace
} // namespace dlu
