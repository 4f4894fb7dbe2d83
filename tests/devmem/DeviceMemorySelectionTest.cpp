#include "devmem/DeviceMemorySelection.h"

#include "devmem/PdmImage.h"
#include "plc/DeviceRanges.h"

#include <gtest/gtest.h>

namespace dlu {
namespace {

constexpr std::uint16_t bit(AreaIndex a) {
    return static_cast<std::uint16_t>(1u << static_cast<int>(a));
}
constexpr std::uint16_t kAll = 0xFFFF;
constexpr std::uint16_t kNeverRestored = bit(AreaIndex::F) | bit(AreaIndex::T) | bit(AreaIndex::C) |
                                         bit(AreaIndex::S) | bit(AreaIndex::Z) | bit(AreaIndex::R);
constexpr std::uint16_t kSetValues = bit(AreaIndex::TS) | bit(AreaIndex::CS);
constexpr std::uint16_t kDefault =
    bit(AreaIndex::M) | bit(AreaIndex::L) | bit(AreaIndex::K) | bit(AreaIndex::D);

std::uint16_t enabledButtons(const DeviceMemorySelection& s) {
    std::uint16_t bits = 0;
    for (int i = 0; i < 16; ++i) {
        if (s.area(i).buttonEnabled) {
            bits = static_cast<std::uint16_t>(bits | (1u << i));
        }
    }
    return bits;
}

TEST(DeviceMemorySelection, RestoreRestrictionsPerCpuType) {
    const Messages en(Language::English);
    struct Case {
        DeviceMemoryMode mode;
        CpuType type;
        std::uint16_t writable;
    };
    const Case cases[] = {
        {DeviceMemoryMode::Backup, 10, kAll},
        {DeviceMemoryMode::Restore, 0, kAll & ~kNeverRestored},
        {DeviceMemoryMode::Restore, 26, kAll & ~kNeverRestored},
        {DeviceMemoryMode::Restore, 10, kAll & ~kNeverRestored & ~kSetValues},
        {DeviceMemoryMode::Restore, 14, kAll & ~kNeverRestored & ~kSetValues},
        {DeviceMemoryMode::Restore, 29, kAll & ~kNeverRestored & ~kSetValues},
        {DeviceMemoryMode::Restore, 34, kAll & ~kNeverRestored & ~kSetValues},
        {DeviceMemoryMode::Restore, 33, kAll & ~kNeverRestored},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        DeviceMemorySelection s(c.mode, c.type, en);
        // Every bulk operation and a loaded file end with the same buttons.
        s.setMaximum();
        EXPECT_EQ(s.checkedBits(), c.writable);
        EXPECT_EQ(enabledButtons(s), c.writable);
        s.setAll(false);
        s.setAll(true);
        EXPECT_EQ(s.checkedBits(), c.writable);
        s.setDefault();
        EXPECT_EQ(s.checkedBits(), kDefault);
        EXPECT_EQ(enabledButtons(s), c.writable);
        PdmImage image;
        image.setMask(kAll);
        for (int i = 0; i < 16; ++i) {
            image.setRange(i, {1, 5});
        }
        s.takeFrom(image);
        EXPECT_EQ(s.checkedBits(), c.writable);
        // A locked button cannot be pressed.
        for (int i = 0; i < 16; ++i) {
            const bool allowed = (c.writable & (1u << i)) != 0;
            EXPECT_EQ(s.setChecked(i, true), allowed) << i;
            EXPECT_EQ(s.area(i).checked, allowed) << i;
            EXPECT_EQ(s.area(i).editsEnabled, allowed) << i;
            // Areas no restore writes show 0 to 0; TS and CS of the small layouts keep theirs.
            const bool zeroed =
                c.mode == DeviceMemoryMode::Restore && (kNeverRestored & (1u << i)) != 0;
            EXPECT_EQ(s.area(i).range, (zeroed ? WordRange{} : WordRange{1, 5})) << i;
        }
        const auto check = s.validate();
        ASSERT_TRUE(check.ok);
        EXPECT_EQ(s.mask(), c.writable);
    }
}

TEST(DeviceMemorySelection, BulkOperationsSetTheRanges) {
    const Messages en(Language::English);
    for (const auto mode : {DeviceMemoryMode::Backup, DeviceMemoryMode::Restore}) {
        DeviceMemorySelection s(mode, 0, en);
        s.setMaximum();
        EXPECT_TRUE(s.allChecked());
        EXPECT_EQ(s.area(9).range, (WordRange{0, DeviceRanges::capacity(9, 0)}));
        EXPECT_EQ(s.area(15).range, (WordRange{0, DeviceRanges::capacity(15, 0)}));
        s.setDefault();
        EXPECT_FALSE(s.allChecked());
        for (int i = 0; i < 16; ++i) {
            const bool inDefault = (kDefault & (1u << i)) != 0;
            const WordRange expected =
                inDefault ? WordRange{0, DeviceRanges::capacity(i, 0)} : WordRange{};
            EXPECT_EQ(s.area(i).range, expected) << i;
            EXPECT_EQ(s.area(i).editsEnabled, inDefault) << i;
        }
        EXPECT_EQ(s.notice(), en(558));
        s.clearAll();
        EXPECT_EQ(s.checkedBits(), kDefault) << "clear all leaves the buttons";
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(s.area(i).range, WordRange{}) << i;
        }
    }
}

TEST(DeviceMemorySelection, EqualNumbersAskForTheWholeAreaAndValidationBuildsTheMask) {
    const Messages en(Language::English);
    DeviceMemorySelection s(DeviceMemoryMode::Backup, 0, en);
    s.setAll(false);
    s.setChecked(9, true);
    s.setRange(9, {5, 5});
    EXPECT_EQ(s.area(9).range, (WordRange{0, 10000}));
    EXPECT_EQ(s.notice(), "D'" + std::string(en(559)));
    s.setRange(9, {0, 10001});
    EXPECT_FALSE(s.validate().ok);
    EXPECT_EQ(s.mask(), 0) << "a failed validation keeps the old mask";
    s.setRange(9, {0, 10000});
    ASSERT_TRUE(s.validate().ok);
    EXPECT_EQ(s.mask(), bit(AreaIndex::D));
}

} // namespace
} // namespace dlu
