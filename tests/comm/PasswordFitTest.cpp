#include "comm/PasswordCipher.h"

#include <gtest/gtest.h>

#include <string>

namespace dlu {
namespace {

// A typed password longer than the PLC keeps is cut to its byte count, and never inside a
// character: "가" is three bytes in UTF-8.
TEST(PasswordFitTest, CutsAtCharacterBoundaryWithinTheByteCount) {
    struct Case {
        const char* typed;
        std::size_t maxBytes;
        const char* kept;
    };
    const Case cases[] = {
        {"", 14, ""},
        {"abcdefghijklmn", 14, "abcdefghijklmn"},  // exactly the length
        {"abcdefghijklmno", 14, "abcdefghijklmn"}, // one over
        {"가나다라", 12, "가나다라"},              // exactly 12 bytes
        {"가나다라마", 14, "가나다라"},            // 15 bytes: the fifth does not fit
        {"가나다라마", 13, "가나다라"},            // 13: one byte of the fifth only
        {"ab가나다라", 14, "ab가나다라"},          // 2 + 12 bytes
        {"abc가나다라", 14, "abc가나다"},          // 3 + 12: the last character goes
        {"가", 2, ""},                             // not even one character fits
        {"a가", 1, "a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PasswordCipher::fitted(c.typed, c.maxBytes), c.kept)
            << c.typed << " in " << c.maxBytes;
    }
}

TEST(PasswordFitTest, KeepsThePlcLengthByDefault) {
    EXPECT_EQ(PasswordCipher::fitted("가나다라마바"), "가나다라");
    EXPECT_EQ(PasswordCipher::fitted("0123456789abcdef"), "0123456789abcd");
}

} // namespace
} // namespace dlu
