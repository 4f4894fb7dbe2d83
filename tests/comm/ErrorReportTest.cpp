#include "comm/ErrorReport.h"

#include "common/StringTable.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

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

TEST(ErrorReport, KoreanRunShowsTheKoreanTexts) {
    const Messages korean(Language::Korean);
    test::ScriptedPrompter prompter;
    EXPECT_TRUE(ErrorReport(prompter, korean).report(11, 3));
    EXPECT_EQ(prompter.texts(),
              (Texts{std::string(stringTableEntry(602)), std::string(stringTableEntry(628))}));
    EXPECT_NE(prompter.texts()[1], "ERR(11) : Rx. timeout");
}

} // namespace
} // namespace dlu
