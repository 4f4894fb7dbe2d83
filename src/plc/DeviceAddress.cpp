#include "plc/DeviceAddress.h"

#include <array>
#include <cctype>
#include <optional>
#include <string>

namespace dlu {

namespace {

enum Letter : std::size_t { X, Y, M, L, K, F, W, D, R, Z, S, T, TC, TS, C, CC, CS, kLetterCount };

constexpr std::array<std::string_view, kLetterCount> kLetterNames{
    "X", "Y", "M", "L", "K", "F", "W", "D", "R", "Z", "S", "T", "TC", "TS", "C", "CC", "CS"};

constexpr std::size_t kColumnCount = static_cast<std::size_t>(AddressMap::None);
using BaseColumn = std::array<std::uint32_t, kLetterCount>;

// One column per address map of the CPU type table, in the order of `AddressMap`; rows in the
// order of `Letter`.
// clang-format off
constexpr std::array<BaseColumn, kColumnCount> kBases{{
    // A01: types 0, 1, 2, 3, 9
    {0x00FFE080, 0x00FFE280, 0x00FFE480, 0x00FFE880, 0x00FFE980, 0x00FFEA80, 0x00C0CDF0,
     0x00C00000, 0x00C097DC, 0x00C08E40, 0x00FFEC80, 0x00FFEB80, 0x00C04E20, 0x00C05620,
     0x00FFEC00, 0x00C05E20, 0x00C06620},
    // B01: type 4
    {0x00FFE080, 0x00FFE090, 0x00FFE0A0, 0x00FFE2A0, 0x00FFE320, 0x00FFEA80, 0x00E04460,
     0x00E00000, 0x00E1EC70, 0x00E1E470, 0x00FFE3E0, 0x00FFE3A0, 0x00E02710, 0x00E02910,
     0x00FFE3C0, 0x00E02B10, 0x00E02D10},
    // A05: types 5, 6, 7
    {0x00810800, 0x00810C00, 0x00811000, 0x00811800, 0x00812000, 0x00812800, 0x00830E00,
     0x00800000, 0x008271E0, 0x00810000, 0x0081EE00, 0x00812A00, 0x00812E00, 0x00816E00,
     0x00812C00, 0x00814E00, 0x00818E00},
    // C01: types 10, 14, 29, 34
    {0x20000200, 0x20000280, 0x60006E20, 0x60007220, 0x60007420, 0x20000300, 0x60007F2C,
     0x60000000, 0x60007F04, 0x60007704, 0x600076A0, 0x60007620, 0x60004E20, 0x60005220,
     0x60007660, 0x60005620, 0x60005A20},
    // A10: types 11 to 13, 15 to 18, 20 to 22
    {0x20000000, 0x20000400, 0x6801FA02, 0x680201D2, 0x680209A2, 0x20000C00, 0x68021DFE,
     0x68000002, 0x68021DD6, 0x680215D6, 0x20000D00, 0x68021172, 0x6800FA02, 0x68011A02,
     0x68021372, 0x68013A02, 0x68015A02},
    // A17: type 19
    {0x20000000, 0x20000200, 0x64017912, 0x64017D12, 0x64017E12, 0x20000800, 0x6401889E,
     0x64011202, 0x64018876, 0x64018076, 0x20000900, 0x64017F12, 0x64013912, 0x64014112,
     0x64017F92, 0x64014912, 0x64015112},
    // A21: types 26 to 28, 30, 33, 40
    {0x00001000, 0x00005000, 0x0000A000, 0x0000F000, 0x00014000, 0x00028000, 0x000F1000,
     0x000A0000, 0x0009B000, 0x00096000, 0x00023000, 0x00019000, 0x00032000, 0x0004B000,
     0x0001E000, 0x00064000, 0x0007D000},
}};
// clang-format on

// One type of each address map, in the order a PLC of unknown type is searched: the identity
// word lies at a different address in each map.
constexpr std::array<CpuType, kColumnCount> kProbeTypes{26, 0, 4, 5, 10, 11, 19};

std::optional<std::size_t> letterIndex(std::string_view letter) {
    for (std::size_t i = 0; i < kLetterNames.size(); ++i) {
        if (kLetterNames[i] == letter) {
            return i;
        }
    }
    return std::nullopt;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'A' && c <= 'F'); }

// Decimal number of all of `text` (which may be empty: 0), or nothing when it has another
// character or does not fit 32 bits.
std::optional<std::uint32_t> decimal(std::string_view text) {
    std::uint64_t value = 0;
    for (char c : text) {
        if (!isDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 0xFFFFFFFFull) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>(value);
}

// base + offset, or 0 when the sum leaves the 32-bit address space.
std::uint32_t offsetFrom(std::uint32_t baseAddress, std::uint64_t offset) {
    const std::uint64_t address = std::uint64_t{baseAddress} + offset;
    return address > 0xFFFFFFFFull ? 0 : static_cast<std::uint32_t>(address);
}

} // namespace

std::span<const CpuType> DeviceAddress::probeTypes() { return kProbeTypes; }

std::uint32_t DeviceAddress::base(std::string_view letter, CpuType projectCpuType) {
    const AddressMap map = CpuTypeTable::addressMap(projectCpuType);
    const auto row = letterIndex(letter);
    if (map == AddressMap::None || !row) {
        return 0;
    }
    return kBases[static_cast<std::size_t>(map)][*row];
}

std::uint32_t DeviceAddress::fromName(std::string_view rawName, CpuType projectCpuType,
                                      bool simulatorConnection) {
    std::string name(rawName);
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (name.empty()) {
        return 0;
    }

    // Two-letter areas first, so that "TC12" is not read as a T contact.
    std::size_t letterLength = 1;
    if (name.size() >= 2) {
        const auto two = std::string_view(name).substr(0, 2);
        if (two == "TC" || two == "TS" || two == "CC" || two == "CS") {
            letterLength = 2;
        }
    }
    const std::string letter = name.substr(0, letterLength);
    const std::string_view digits = std::string_view(name).substr(letterLength);
    const std::uint32_t b = base(letter, projectCpuType);
    if (b == 0 || digits.empty()) {
        return 0;
    }

    const char first = letter[0];
    if (letterLength == 1 && (first == 'F' || first == 'K' || first == 'L' || first == 'M' ||
                              first == 'X' || first == 'Y')) {
        // Bit devices: the last character is the bit number (hexadecimal), the rest the word.
        if (!isHexDigit(digits.back())) {
            return 0;
        }
        const auto word = decimal(digits.substr(0, digits.size() - 1));
        return word ? offsetFrom(b, 2ull * *word) : 0;
    }

    const auto n = decimal(digits);
    if (!n) {
        return 0;
    }
    switch (first) {
    case 'T':
    case 'C':
        if (letterLength == 1) {
            // A contact number; sixteen contacts share a word.
            return offsetFrom(b, 2ull * (*n / 16));
        }
        return offsetFrom(b, 2ull * *n);
    case 'R':
        return *n <= 15 ? offsetFrom(b, 2ull * *n) : 0;
    case 'S': {
        if (*n > 99) {
            return 0;
        }
        const bool wordAddressed = CpuTypeTable::addressesSInWords(projectCpuType);
        return offsetFrom(b, wordAddressed && !simulatorConnection ? 2ull * *n : *n);
    }
    default: // D, W, Z
        return offsetFrom(b, 2ull * *n);
    }
}

} // namespace dlu
