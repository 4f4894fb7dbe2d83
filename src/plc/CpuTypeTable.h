#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace dlu {

// CPU type codes: 0 to 40 with gaps; 0xFFFF means none chosen yet.
using CpuType = std::uint16_t;
constexpr CpuType kNoCpuType = 0xFFFF;
constexpr CpuType kMaxCpuType = 40;
constexpr std::size_t kCpuTypeCount = kMaxCpuType + 1; // rows of the capacity table
constexpr std::size_t kDeviceAreaCount = 16;           // columns of the capacity table

// Area sizes in 16-bit words, one row per code, columns in device area order
// X, Y, M, L, K, F, T, C, S, D, Z, R, TC, TS, CC, CS.
using CapacityRow = std::array<std::uint16_t, kDeviceAreaCount>;
using CapacityTable = std::array<CapacityRow, kCpuTypeCount>;

enum class CpuFamily : char { A = 'A', B = 'B', C = 'C', None = '-' };

// Which column of device address bases a type uses, named after its first model; None for the
// types that have no device addresses (the session then sends no read or write).
enum class AddressMap : std::uint8_t { A01, B01, A05, C01, A10, A17, A21, None };

// One push button of a CPU type selection dialog, in the dialog's order.
struct CpuTypeButton {
    CpuType code;
    int buttonId;
    std::string_view group; // group box title
    int row;                // row inside the group, from 0
};

class CpuTypeTable {
public:
    // Display name of a model; empty for code 8, the unnamed codes and anything above 40.
    static std::string_view displayName(CpuType code);

    // Family of a code; None for codes the table does not know.
    static CpuFamily family(CpuType code);

    // Capacity of an area chosen by its device id (X 1, Y 2, M 3, L 4, K 5, F 6, T 7, C 8, D 9,
    // S 11, Z 12, R 14, TC 48, TS 49, CC 50, CS 51). 0 for an unknown device id or a code above 40.
    static std::uint16_t capacity(CpuType code, int deviceId);

    // The whole table, as the device memory viewer gets it.
    static const CapacityTable& capacities();

    // Buttons of the normal selection dialog ("PLC CPU Type") and of the Linux one
    // ("PLC CPU Type - Linux").
    static std::span<const CpuTypeButton> normalDialogButtons();
    static std::span<const CpuTypeButton> linuxDialogButtons();

    // Rules that depend on the type; an unknown code has none of them.
    static AddressMap addressMap(CpuType code);
    // Program lengths in the link file's program table are little-endian (else big-endian).
    static bool littleEndianProgramLengths(CpuType code);
    // Projects of these types carry ST programs and global tables.
    static bool hasStPrograms(CpuType code);
    // The PLC addresses S in words (S n at base + 2n) and takes S writes as words; the others
    // address S in bytes and take S writes as raw bytes.
    static bool addressesSInWords(CpuType code);
    // A restore may write the timer and counter presets (TS, CS).
    static bool restoresPresets(CpuType code);
    // Types the Linux device memory dialog offers.
    static bool isLinuxDialogType(CpuType code);

    // Parses a code ("26") or a display name ("A-21", any letter case). kNoCpuType when neither.
    static CpuType parse(std::string_view text);
};

} // namespace dlu
