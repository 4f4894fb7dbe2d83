#include "plc/CpuTypeTable.h"
#include "plc/DeviceArea.h"

#include <gtest/gtest.h>

#include <set>

namespace dlu {
namespace {

TEST(CpuTypeTable, DisplayNames) {
    const std::pair<CpuType, const char*> named[] = {{0, "A-01"}, {26, "A-21"}, {40, "C-07"}};
    for (const auto& [code, name] : named) {
        EXPECT_EQ(CpuTypeTable::displayName(code), name) << code;
    }
    for (CpuType code : std::initializer_list<CpuType>{8, 23, 24, 25, 31, 32, 35, 36, 37, 38, 39,
                                                       41, 100, 0xFFFF}) {
        EXPECT_EQ(CpuTypeTable::displayName(code), "") << code;
    }
    EXPECT_EQ(CpuTypeTable::family(8), CpuFamily::A);
    EXPECT_EQ(CpuTypeTable::family(4), CpuFamily::B);
    EXPECT_EQ(CpuTypeTable::family(40), CpuFamily::C);
    EXPECT_EQ(CpuTypeTable::family(23), CpuFamily::None);
}

TEST(CpuTypeTable, CapacityByDeviceId) {
    struct Case {
        CpuType code;
        const char* letter;
        std::uint16_t expected;
    };
    const Case cases[] = {
        {0, "D", 10000}, {1, "D", 8000},  {3, "X", 24},    {4, "M", 256},    {4, "T", 256},
        {5, "D", 32000}, {10, "T", 32},   {10, "TC", 512}, {18, "CS", 1024}, {19, "TC", 1024},
        {26, "X", 1024}, {26, "M", 4096}, {26, "F", 256},  {26, "TC", 512},  {26, "TS", 4096},
        {40, "X", 512},  {8, "X", 512},   {23, "X", 1024}, {11, "TC", 512},  {12, "TC", 4096},
    };
    for (const auto& c : cases) {
        const auto* area = DeviceAreas::byLetter(c.letter);
        ASSERT_NE(area, nullptr) << c.letter;
        EXPECT_EQ(CpuTypeTable::capacity(c.code, area->deviceId), c.expected)
            << "code " << c.code << " area " << c.letter;
    }
    // Ids without a column, and codes past the table, give 0 instead of reading past it.
    for (int id : {0, 10, 13, 15, 47, 52, -1}) {
        EXPECT_EQ(CpuTypeTable::capacity(0, id), 0) << id;
    }
    EXPECT_EQ(CpuTypeTable::capacity(41, 9), 0);
    EXPECT_EQ(CpuTypeTable::capacity(kNoCpuType, 9), 0);
}

TEST(CpuTypeTable, CommonColumnsAndLayoutFamilies) {
    const auto& table = CpuTypeTable::capacities();
    const std::set<CpuType> small{10, 14, 29, 34};
    const std::set<CpuType> tc512{11, 15, 20, 23, 26, 30, 31, 32, 33, 35, 36, 37, 38, 39, 40};
    for (CpuType code = 0; code <= kMaxCpuType; ++code) {
        const auto& row = table[code];
        EXPECT_EQ(row[8], 100) << "S of " << code;
        EXPECT_EQ(row[10], 1024) << "Z of " << code;
        EXPECT_EQ(row[11], 16) << "R of " << code;
        if (small.count(code) != 0) {
            EXPECT_EQ(row[0], 64);
            EXPECT_EQ(row[6], 32);
            for (std::size_t i = 12; i < 16; ++i) {
                EXPECT_EQ(row[i], 512) << code;
            }
        } else if (code == 18 || code == 19) {
            for (std::size_t i = 12; i < 16; ++i) {
                EXPECT_EQ(row[i], 1024) << code;
            }
        } else if (tc512.count(code) != 0) {
            EXPECT_EQ(row[12], 512) << code;
            EXPECT_EQ(row[13], 4096) << code;
            EXPECT_EQ(row[14], 4096) << code;
            EXPECT_EQ(row[15], 4096) << code;
        } else {
            EXPECT_EQ(row[12], 4096) << code;
        }
    }
}

TEST(CpuTypeTable, SelectionDialogsOfferTheRightTypes) {
    std::set<CpuType> normal;
    std::set<int> ids;
    for (const auto& b : CpuTypeTable::normalDialogButtons()) {
        normal.insert(b.code);
        ids.insert(b.buttonId);
        EXPECT_FALSE(CpuTypeTable::displayName(b.code).empty()) << b.code;
    }
    std::set<CpuType> linuxSet;
    for (const auto& b : CpuTypeTable::linuxDialogButtons()) {
        linuxSet.insert(b.code);
        ids.insert(b.buttonId);
    }
    EXPECT_EQ(ids.size(), 22u) << "button ids are unique across both dialogs";
    EXPECT_EQ(linuxSet, (std::set<CpuType>{26, 27, 28, 30, 40}));
    for (CpuType code : std::initializer_list<CpuType>{26, 27, 28}) {
        EXPECT_TRUE(normal.count(code) && linuxSet.count(code)) << code;
    }
    for (CpuType code : std::initializer_list<CpuType>{30, 40}) {
        EXPECT_FALSE(normal.count(code)) << code;
    }
    for (CpuType code : std::initializer_list<CpuType>{0, 1, 4, 9, 11, 12, 13, 14, 29, 33, 34}) {
        EXPECT_FALSE(normal.count(code) || linuxSet.count(code)) << code;
    }
    EXPECT_EQ(CpuTypeTable::normalDialogButtons()[0].buttonId, 1055);
    EXPECT_EQ(CpuTypeTable::normalDialogButtons().back().code, 10);
    EXPECT_EQ(CpuTypeTable::linuxDialogButtons().back().buttonId, 1095);
}

TEST(CpuTypeTable, LinuxFamilies) {
    for (CpuType code = 0; code <= 45; ++code) {
        EXPECT_EQ(CpuTypeTable::hasStPrograms(code), code >= 26 && code <= 28) << code;
        const bool dialog = code == 26 || code == 27 || code == 28 || code == 30 || code == 40;
        EXPECT_EQ(CpuTypeTable::isLinuxDialogType(code), dialog) << code;
    }
}

TEST(CpuTypeTable, ParseCodeOrName) {
    const std::pair<const char*, CpuType> cases[] = {
        {"26", 26},
        {"A-21", 26},
        {"a-21", 26},
        {"0", 0},
        {"40", 40},
        {"41", kNoCpuType},
        {"8", 8},
        {"", kNoCpuType},
        {"A-08", kNoCpuType},
        {"-1", kNoCpuType},
        {"99999999999", kNoCpuType},
        {"C-07", 40},
        {"26x", kNoCpuType},
    };
    for (const auto& [text, code] : cases) {
        EXPECT_EQ(CpuTypeTable::parse(text), code) << text;
    }
}

} // namespace
} // namespace dlu
