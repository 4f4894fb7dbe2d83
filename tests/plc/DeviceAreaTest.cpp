#include "plc/DeviceArea.h"

#include <gtest/gtest.h>

namespace dlu {
namespace {

TEST(DeviceArea, OrderLettersAndDeviceIds) {
    const auto areas = DeviceAreas::all();
    ASSERT_EQ(areas.size(), 16u);
    const char* letters[] = {"X", "Y", "M", "L", "K",  "F",  "T",  "C",
                             "S", "D", "Z", "R", "TC", "TS", "CC", "CS"};
    const int deviceIds[] = {1, 2, 3, 4, 5, 6, 7, 8, 11, 9, 12, 14, 48, 49, 50, 51};
    for (int i = 0; i < 16; ++i) {
        const auto& a = areas[static_cast<std::size_t>(i)];
        EXPECT_EQ(static_cast<int>(a.index), i);
        EXPECT_EQ(a.letter, letters[i]);
        EXPECT_EQ(a.deviceId, deviceIds[i]) << letters[i];
        // The prefixes follow from the letter (the dialog ids are the dialog's business).
        EXPECT_EQ(a.summaryPrefix, "[ " + std::string(letters[i]) + " ] : ");
        EXPECT_EQ(a.noticePrefix, std::string(letters[i]) + "'");
        EXPECT_EQ(a.progressPrefix, "[" + std::string(letters[i]) + "] ");
        EXPECT_EQ(DeviceAreas::byLetter(letters[i]), &a);
    }
    EXPECT_EQ(DeviceAreas::byLetter("d"), nullptr);
    EXPECT_EQ(DeviceAreas::byLetter("W"), nullptr);
}

TEST(DeviceArea, TransferAndViewerNames) {
    struct Case {
        AreaIndex area;
        std::uint32_t word;
        const char* transfer;
        const char* viewer;
    };
    const Case cases[] = {
        {AreaIndex::X, 25, "X0250", "X0025"},
        {AreaIndex::X, 1023, "X10230", "X1023"},
        {AreaIndex::X, 0, "X0000", "X0000"},
        {AreaIndex::F, 25, "F250", "F0025"},
        {AreaIndex::F, 0, "F000", "F0000"},
        {AreaIndex::S, 7, "S07", "S007"},
        {AreaIndex::D, 100, "D00100", "D00100"},
        {AreaIndex::D, 31999, "D31999", "D31999"},
        {AreaIndex::R, 15, "R15", "R15"},
        {AreaIndex::TC, 12, "TC0012", "TC0012"},
        {AreaIndex::CS, 4095, "CS4095", "CS4095"},
        {AreaIndex::Z, 3, "Z0003", "Z0003"},
        // T and C words go out as the first contact of the word.
        {AreaIndex::T, 0, "T0000", "T0000"},
        {AreaIndex::T, 100, "T1600", "T0100"},
        {AreaIndex::C, 255, "C4080", "C0255"},
        // No wrap-around for huge word numbers.
        {AreaIndex::M, 0xFFFFFFFFu, "M42949672950", "M4294967295"},
    };
    for (const auto& c : cases) {
        const int i = static_cast<int>(c.area);
        EXPECT_EQ(DeviceAreas::transferAddress(i, c.word), c.transfer);
        EXPECT_EQ(DeviceAreas::viewerName(i, c.word), c.viewer);
    }
}

} // namespace
} // namespace dlu
