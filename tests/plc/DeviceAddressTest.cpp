#include "plc/DeviceAddress.h"
#include "plc/DeviceArea.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace dlu {
namespace {

std::uint32_t addr(const char* name, CpuType type, bool sim = false) {
    return DeviceAddress::fromName(name, type, sim);
}

TEST(DeviceAddress, NamesToAddresses) {
    struct Case {
        const char* name;
        CpuType type;
        bool simulator;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"F0080", 0, false, 0x00FFEA90},
        {"f0080", 0, false, 0x00FFEA90}, // upper-cased first
        {"F008F", 0, false, 0x00FFEA90}, // last digit is the bit
        {"X0250", 0, false, 0x00FFE080 + 50},
        {"X5", 0, false, 0x00FFE080}, // bit 5 of word 0
        {"M001A", 26, false, 0x0000A000 + 2},
        {"T0035", 0, false, 0x00FFEB80 + 4},
        {"T0015", 0, false, 0x00FFEB80},
        {"C0016", 4, false, 0x00FFE3C0 + 2},
        {"TC0012", 0, false, 0x00C04E20 + 24},
        {"TS0001", 19, false, 0x64014112 + 2},
        {"CC0002", 10, false, 0x60005620 + 4},
        {"CS0003", 40, false, 0x0007D000 + 6},
        {"D00100", 26, false, 0x000A0000 + 200},
        {"W10", 11, false, 0x68021DFE + 20},
        {"Z0003", 5, false, 0x00810000 + 6},
        {"R15", 0, false, 0x00C097DC + 30},
        {"R00", 0, false, 0x00C097DC},
        {"S07", 6, false, 0x0081EE00 + 14},
        {"S07", 6, true, 0x0081EE00 + 7},
        {"S07", 0, false, 0x00FFEC80 + 7},
        {"S07", 0, true, 0x00FFEC80 + 7},
        {"S99", 26, false, 0x00023000 + 99},
        {"K0000", 34, false, 0x60007420},
        {"L0010", 33, false, 0x0000F000 + 2},
        {"Y0010", 14, false, 0x20000280 + 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(addr(c.name, c.type, c.simulator), c.expected)
            << c.name << " type " << c.type << (c.simulator ? " (simulator)" : "");
    }
}

TEST(DeviceAddress, InvalidNamesGiveZero) {
    const char* invalid[] = {
        "R16",
        "S100",
        "",
        "D",
        "TC",
        "Q0001",
        "D12A",
        "X00G",
        "D-1",
        "D 1",
        "F",
        "T",
        "D99999999999999999999",
        "D4294967295", // past the 32-bit address space
        "X+1",
        "S7.0",
    };
    for (const char* name : invalid) {
        EXPECT_EQ(addr(name, 0), 0u) << name;
    }
    // CPU types without addresses, and codes past the table.
    for (CpuType type :
         std::initializer_list<CpuType>{8, 23, 24, 25, 31, 32, 35, 36, 37, 38, 39, 41, 0xFFFF}) {
        EXPECT_EQ(addr("D00000", type), 0u) << type;
        EXPECT_EQ(DeviceAddress::base("D", type), 0u) << type;
    }
}

TEST(DeviceAddress, EveryBaseOfEveryTypeColumn) {
    // The base table as the PLC families define it, one row per letter and one column per
    // group of CPU types.
    struct Row {
        const char* letter;
        std::array<std::uint32_t, 7> bases;
    };
    // clang-format off
    const std::vector<std::vector<CpuType>> groups = {
        {0, 1, 2, 3, 9}, {4}, {5, 6, 7}, {10, 14, 29, 34}, {11, 12, 13, 15, 16, 17, 18, 20, 21, 22},
        {19}, {26, 27, 28, 30, 33, 40}};
    const Row rows[] = {
        {"X",  {0x00FFE080, 0x00FFE080, 0x00810800, 0x20000200, 0x20000000, 0x20000000, 0x00001000}},
        {"Y",  {0x00FFE280, 0x00FFE090, 0x00810C00, 0x20000280, 0x20000400, 0x20000200, 0x00005000}},
        {"M",  {0x00FFE480, 0x00FFE0A0, 0x00811000, 0x60006E20, 0x6801FA02, 0x64017912, 0x0000A000}},
        {"L",  {0x00FFE880, 0x00FFE2A0, 0x00811800, 0x60007220, 0x680201D2, 0x64017D12, 0x0000F000}},
        {"K",  {0x00FFE980, 0x00FFE320, 0x00812000, 0x60007420, 0x680209A2, 0x64017E12, 0x00014000}},
        {"F",  {0x00FFEA80, 0x00FFEA80, 0x00812800, 0x20000300, 0x20000C00, 0x20000800, 0x00028000}},
        {"W",  {0x00C0CDF0, 0x00E04460, 0x00830E00, 0x60007F2C, 0x68021DFE, 0x6401889E, 0x000F1000}},
        {"D",  {0x00C00000, 0x00E00000, 0x00800000, 0x60000000, 0x68000002, 0x64011202, 0x000A0000}},
        {"R",  {0x00C097DC, 0x00E1EC70, 0x008271E0, 0x60007F04, 0x68021DD6, 0x64018876, 0x0009B000}},
        {"Z",  {0x00C08E40, 0x00E1E470, 0x00810000, 0x60007704, 0x680215D6, 0x64018076, 0x00096000}},
        {"S",  {0x00FFEC80, 0x00FFE3E0, 0x0081EE00, 0x600076A0, 0x20000D00, 0x20000900, 0x00023000}},
        {"T",  {0x00FFEB80, 0x00FFE3A0, 0x00812A00, 0x60007620, 0x68021172, 0x64017F12, 0x00019000}},
        {"TC", {0x00C04E20, 0x00E02710, 0x00812E00, 0x60004E20, 0x6800FA02, 0x64013912, 0x00032000}},
        {"TS", {0x00C05620, 0x00E02910, 0x00816E00, 0x60005220, 0x68011A02, 0x64014112, 0x0004B000}},
        {"C",  {0x00FFEC00, 0x00FFE3C0, 0x00812C00, 0x60007660, 0x68021372, 0x64017F92, 0x0001E000}},
        {"CC", {0x00C05E20, 0x00E02B10, 0x00814E00, 0x60005620, 0x68013A02, 0x64014912, 0x00064000}},
        {"CS", {0x00C06620, 0x00E02D10, 0x00818E00, 0x60005A20, 0x68015A02, 0x64015112, 0x0007D000}},
    };
    // clang-format on
    for (const auto& row : rows) {
        for (std::size_t g = 0; g < groups.size(); ++g) {
            for (CpuType t : groups[g]) {
                EXPECT_EQ(DeviceAddress::base(row.letter, t), row.bases[g])
                    << row.letter << " type " << t;
            }
        }
    }
}

TEST(DeviceAddress, TransferNamesAddressTheWordsTheyName) {
    // The device memory transfer names word w of every area; the session must turn that
    // name back into word w of the same area, T and C included.
    for (CpuType type : std::initializer_list<CpuType>{0, 6, 26}) {
        for (const auto& area : DeviceAreas::all()) {
            const int i = static_cast<int>(area.index);
            for (std::uint32_t w : {0u, 1u, 7u, 15u, 99u}) {
                const auto name = DeviceAreas::transferAddress(i, w);
                const bool byteAddressedS = area.index == AreaIndex::S && !(type >= 5 && type <= 8);
                const std::uint32_t expected =
                    DeviceAddress::base(area.letter, type) + (byteAddressedS ? w : 2 * w);
                if (area.index == AreaIndex::R && w > 15) {
                    continue;
                }
                EXPECT_EQ(DeviceAddress::fromName(name, type, false), expected)
                    << name << " type " << type;
            }
        }
    }
}

} // namespace
} // namespace dlu
