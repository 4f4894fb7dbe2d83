#include "common/TerminalText.h"

#include <gtest/gtest.h>

#include <string>

namespace dlu {
namespace {

TEST(TerminalText, ControlsAndBrokenBytesNeverReachTheTerminal) {
    struct Case {
        std::string in;
        bool keepLineBreaks;
        std::string out;
    };
    const Case cases[] = {
        {"Conveyor 1", false, "Conveyor 1"},
        {"\xEC\x84\xA0\xEB\xB3\x84 \xE2\x82\xAC \xF0\x9F\x98\x80", false,
         "\xEC\x84\xA0\xEB\xB3\x84 \xE2\x82\xAC \xF0\x9F\x98\x80"},  // Hangul, euro, emoji stay
        {"a\x1B[2Jb", false, "a\\x1B[2Jb"},                          // CSI: clear screen
        {"\x1B]0;owned\x07", false, "\\x1B]0;owned\\x07"},           // OSC: window title
        {"safe\b\b\b\bevil", false, "safe\\x08\\x08\\x08\\x08evil"}, // backspace
        {"ok\rFAIL", false, "ok\\x0DFAIL"},
        {"x\x7Fy", false, "x\\x7Fy"},
        {std::string("nul\0z", 5), false, "nul\\x00z"},
        {"tab\there", false, "tab\\x09here"},
        {"one\ntwo", false, "one\\x0Atwo"},
        {"one\ntwo\r", true, "one\ntwo\\x0D"},
        {"\xC2\x9B"
         "31m",
         false, "\\xC2\\x9B31m"}, // C1 CSI as UTF-8
        {"\xC2\x80\xC2\x9F\xC2\xA0", false, "\\xC2\\x80\\xC2\\x9F\xC2\xA0"},
        {"\x9B"
         "31m",
         false, "?31m"},                     // C1 as a bare byte: not UTF-8
        {"\xC0\x9B", false, "??"},           // overlong
        {"\xED\xA0\x80", false, "???"},      // surrogate
        {"\xE2\x82", false, "??"},           // cut short
        {"\xF5\x80\x80\x80", false, "????"}, // past U+10FFFF
        {"abc\xE2\x80\xAE"
         "fdp.exe",
         false, "abc\\u202Efdp.exe"}, // right-to-left override
        {"\xE2\x81\xA6x", false, "\\u2066x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(displaySafe(c.in, c.keepLineBreaks), c.out) << c.in;
    }
}

} // namespace
} // namespace dlu
