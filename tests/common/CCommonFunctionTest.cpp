#include "common/CCommonFunction.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace dlu {
namespace {

TEST(CCommonFunction, FileKindNumberByExtension) {
    struct Case {
        const char* name;
        unsigned expected;
    };
    const Case cases[] = {
        {"Line1.PRM", 11},
        {"Line1.prm", 0},
        {"a.b.PMT", 4},
        {"NOEXT", 0},
        {"PLC", 1},
        {"x.PMR", 4},
        {"x.SRC", 4},
        {"x.PMP", 5},
        {"x.PMF", 6},
        {"x.PSN", 30},
        {"x.PSNE", 31},
        {"x.PSNS", 32},
        {"x.PSNX", 0},
        {"x.UP", 13},
        {"x.U", 0},
        {"x.BAK", 99},
        {"dir.DWN/file.PLCV", 42},
        {"x.", 0},
        {"", 0},
        {"x.PLC ", 0},
        {"C:\\proj\\Main.BIN", 10},
        {"x.DAM", 50},
        {"x.PDM", 51},
        {"x.OUF", 90},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CCommonFunction::fileKindNumber(c.name), c.expected) << c.name;
    }
}

TEST(CCommonFunction, CopyTextReportsFullBufferExactly) {
    struct Case {
        std::size_t destSize;
        int result;
        std::string copied; // bytes present in dest afterwards (up to what was written)
    };
    const Case cases[] = {
        {6, CCommonFunction::kCopyDone, std::string("ABC\0", 4)},
        {5, CCommonFunction::kCopyDone, std::string("ABC\0", 4)},
        {4, CCommonFunction::kCopyTooSmall, std::string("ABC\0", 4)},
        {3, CCommonFunction::kCopyTooSmall, "ABC"},
        {1, CCommonFunction::kCopyTooSmall, "A"},
        {0, CCommonFunction::kCopyTooSmall, ""},
    };
    for (const auto& c : cases) {
        std::vector<char> dest(c.destSize + 2, '#'); // guard bytes past the span
        const int r = CCommonFunction::copyText(std::span<char>(dest.data(), c.destSize), "ABC");
        EXPECT_EQ(r, c.result) << "size " << c.destSize;
        EXPECT_EQ(std::string(dest.data(), c.copied.size()), c.copied) << "size " << c.destSize;
        EXPECT_EQ(dest[c.destSize], '#') << "wrote past the buffer, size " << c.destSize;
        if (c.copied.size() < c.destSize) {
            EXPECT_EQ(dest[c.copied.size()], '#') << "size " << c.destSize;
        }
    }
}

TEST(CCommonFunction, CopyOfNothingIsEmptyText) {
    std::array<char, 4> dest{'x', 'y', 'z', 'w'};
    EXPECT_EQ(CCommonFunction::copyText(dest, ""), CCommonFunction::kCopyDone);
    EXPECT_EQ(dest[0], '\0');
    EXPECT_EQ(dest[1], 'y');

    std::array<std::uint8_t, 1> one{0xAA};
    EXPECT_EQ(CCommonFunction::copyBytes(one, {}, 0), CCommonFunction::kCopyDone);
    EXPECT_EQ(one[0], 0);
    EXPECT_EQ(CCommonFunction::copyBytes({}, {}, 0), CCommonFunction::kCopyTooSmall);
}

TEST(CCommonFunction, CopyBytesTakesTheByteAfterTheLength) {
    const std::array<std::uint8_t, 4> src{1, 2, 3, 9}; // byte 3 stands where a zero would
    std::array<std::uint8_t, 8> dest{};
    dest.fill(0xEE);
    EXPECT_EQ(CCommonFunction::copyBytes(dest, src, 3), CCommonFunction::kCopyDone);
    EXPECT_EQ(dest[3], 9);
    EXPECT_EQ(dest[4], 0xEE);

    // A source shorter than n + 1 bytes is never read past its end.
    const std::array<std::uint8_t, 2> shortSrc{7, 8};
    dest.fill(0xEE);
    EXPECT_EQ(CCommonFunction::copyBytes(dest, shortSrc, 4), CCommonFunction::kCopyDone);
    EXPECT_EQ(dest[0], 7);
    EXPECT_EQ(dest[1], 8);
    EXPECT_EQ(dest[2], 0);
    EXPECT_EQ(dest[4], 0);
    EXPECT_EQ(dest[5], 0xEE);
}

} // namespace
} // namespace dlu
