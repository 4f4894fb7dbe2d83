#include "plc/DeviceRanges.h"
#include "common/TextFormat.h"
#include "plc/DeviceArea.h"

#include <gtest/gtest.h>

namespace dlu {
namespace {

constexpr int kD = static_cast<int>(AreaIndex::D);
constexpr std::uint16_t bit(AreaIndex a) {
    return static_cast<std::uint16_t>(1u << static_cast<int>(a));
}

std::string rangeError(const Messages& m, int last) { return formatText(m(562), last); }

TEST(DeviceRanges, ValidationOfOneArea) {
    const Messages en(Language::English);
    struct Case {
        std::uint32_t start, end;
        bool ok;
        bool orderError; // else range error when !ok
    };
    const Case cases[] = {
        {0, 0, true, false},      {0, 10000, true, false},       {9999, 10000, true, false},
        {5000, 0, true, false},   {10000, 0, true, false},       {10001, 0, false, false},
        {0, 10001, false, false}, {20, 10, false, true},         {20000, 10, false, false},
        {10, 10, true, false},    {0xFFFFFFFF, 0, false, false},
    };
    for (const auto& c : cases) {
        DeviceRangeSet ranges{};
        ranges[kD] = {c.start, c.end};
        const auto r = DeviceRanges::validate(ranges, bit(AreaIndex::D), 0, en);
        EXPECT_EQ(r.ok, c.ok) << c.start << ".." << c.end;
        if (c.ok) {
            EXPECT_EQ(r.failingArea, -1);
            EXPECT_EQ(r.mask, bit(AreaIndex::D));
            continue;
        }
        EXPECT_EQ(r.failingArea, kD);
        EXPECT_EQ(r.mask, 0);
        const std::string expected =
            "[ D ] : " + (c.orderError ? std::string(en(561)) : rangeError(en, 9999));
        EXPECT_EQ(r.message, expected) << c.start << ".." << c.end;
    }
}

TEST(DeviceRanges, RangeErrorNamesTheLastWordInBothLanguages) {
    DeviceRangeSet ranges{};
    ranges[kD] = {0, 10001};
    const auto en =
        DeviceRanges::validate(ranges, bit(AreaIndex::D), 0, Messages(Language::English));
    EXPECT_EQ(en.message, "[ D ] : The range is from 0 to 9999.");
    const Messages ko(Language::Korean);
    const auto kr = DeviceRanges::validate(ranges, bit(AreaIndex::D), 0, ko);
    EXPECT_EQ(kr.message, "[ D ] : " + rangeError(ko, 9999));
    EXPECT_NE(kr.message.find("9999"), std::string::npos);
}

TEST(DeviceRanges, FirstFailingSelectedAreaWins) {
    const Messages en(Language::English);
    DeviceRangeSet ranges{};
    ranges[static_cast<int>(AreaIndex::X)] = {0, 300}; // X of A-01 is 256 words
    ranges[static_cast<int>(AreaIndex::M)] = {50, 10}; // order error
    ranges[kD] = {0, 20000};                           // range error

    // X unchecked: its bad range is never looked at.
    auto r = DeviceRanges::validate(ranges, bit(AreaIndex::M) | bit(AreaIndex::D), 0, en);
    EXPECT_EQ(r.failingArea, static_cast<int>(AreaIndex::M));
    EXPECT_EQ(r.message, "[ M ] : " + std::string(en(561)));

    r = DeviceRanges::validate(ranges, 0xFFFF, 0, en);
    EXPECT_EQ(r.failingArea, static_cast<int>(AreaIndex::X));
    EXPECT_EQ(r.message, "[ X ] : " + rangeError(en, 255));

    r = DeviceRanges::validate(ranges, bit(AreaIndex::Y) | bit(AreaIndex::CS), 0, en);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.mask, bit(AreaIndex::Y) | bit(AreaIndex::CS));

    r = DeviceRanges::validate(ranges, 0, 0, en);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.mask, 0);
}

TEST(DeviceRanges, CapacityFollowsTheCpuType) {
    const Messages en(Language::English);
    DeviceRangeSet ranges{};
    ranges[static_cast<int>(AreaIndex::T)] = {0, 33};
    // T of C-01 has 32 words; of A-01, 1024.
    EXPECT_FALSE(DeviceRanges::validate(ranges, bit(AreaIndex::T), 10, en).ok);
    EXPECT_TRUE(DeviceRanges::validate(ranges, bit(AreaIndex::T), 0, en).ok);
}

TEST(DeviceRanges, FullRangeShortcut) {
    const Messages en(Language::English);
    struct Case {
        int area;
        WordRange before;
        bool changed;
        WordRange after;
    };
    const Case cases[] = {
        {kD, {5, 5}, true, {0, 10000}}, {kD, {0, 0}, false, {0, 0}},
        {kD, {5, 6}, false, {5, 6}},    {kD, {0, 5}, false, {0, 5}},
        {kD, {5, 0}, false, {5, 0}},    {static_cast<int>(AreaIndex::CS), {7, 7}, true, {0, 4096}},
    };
    for (const auto& c : cases) {
        WordRange r = c.before;
        const auto notice = DeviceRanges::applyFullRange(r, c.area, 0, en);
        EXPECT_EQ(notice.changed, c.changed);
        EXPECT_EQ(r, c.after);
        const std::string expected =
            c.changed ? std::string(DeviceAreas::at(c.area).noticePrefix) + std::string(en(559))
                      : std::string(en(558));
        EXPECT_EQ(notice.text, expected);
    }
    WordRange r{9, 9};
    EXPECT_EQ(DeviceRanges::applyFullRange(r, kD, 0, en).text,
              "D'addresses were changed to the maximum range.");
}

} // namespace
} // namespace dlu
