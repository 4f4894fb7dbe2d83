#include "plc/CpuTypeTable.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace dlu {

namespace {

// Rules of a type, as bits of Model::rules.
constexpr unsigned kLittleEndian = 1u << 0; // littleEndianProgramLengths
constexpr unsigned kStPrograms = 1u << 1;   // hasStPrograms
constexpr unsigned kSInWords = 1u << 2;     // addressesSInWords
constexpr unsigned kFixedPresets = 1u << 3; // !restoresPresets

struct Model {
    std::string_view name;
    CpuFamily family;
    AddressMap addresses;
    unsigned rules;
};

// Indexed by code. Code 8 is a family-A model without a display name or addresses; the gaps
// name no model.
using F = CpuFamily;
using Addr = AddressMap;
// clang-format off
constexpr std::array<Model, kCpuTypeCount> kModels{{
    {"A-01", F::A, Addr::A01, 0}, // 0
    {"A-02", F::A, Addr::A01, 0}, // 1
    {"A-03", F::A, Addr::A01, 0}, // 2
    {"A-04", F::A, Addr::A01, 0}, // 3
    {"B-01", F::B, Addr::B01, 0}, // 4
    {"A-05", F::A, Addr::A05, kSInWords}, // 5
    {"A-06", F::A, Addr::A05, kSInWords}, // 6
    {"A-07", F::A, Addr::A05, kSInWords}, // 7
    {"", F::A, Addr::None, kSInWords}, // 8
    {"A-09", F::A, Addr::A01, 0}, // 9
    {"C-01", F::C, Addr::C01, kLittleEndian | kFixedPresets}, // 10
    {"A-10", F::A, Addr::A10, kLittleEndian}, // 11
    {"A-11", F::A, Addr::A10, kLittleEndian}, // 12
    {"A-12", F::A, Addr::A10, kLittleEndian}, // 13
    {"C-02", F::C, Addr::C01, kLittleEndian | kFixedPresets}, // 14
    {"A-13", F::A, Addr::A10, kLittleEndian}, // 15
    {"A-14", F::A, Addr::A10, kLittleEndian}, // 16
    {"A-15", F::A, Addr::A10, kLittleEndian}, // 17
    {"A-16", F::A, Addr::A10, kLittleEndian}, // 18
    {"A-17", F::A, Addr::A17, kLittleEndian}, // 19
    {"A-18", F::A, Addr::A10, kLittleEndian}, // 20
    {"A-19", F::A, Addr::A10, kLittleEndian}, // 21
    {"A-20", F::A, Addr::A10, kLittleEndian}, // 22
    {"", F::None, Addr::None, 0}, // 23
    {"", F::None, Addr::None, 0}, // 24
    {"", F::None, Addr::None, 0}, // 25
    {"A-21", F::A, Addr::A21, kLittleEndian | kStPrograms}, // 26
    {"A-22", F::A, Addr::A21, kLittleEndian | kStPrograms}, // 27
    {"A-23", F::A, Addr::A21, kLittleEndian | kStPrograms}, // 28
    {"C-03", F::C, Addr::C01, kLittleEndian | kFixedPresets}, // 29
    {"C-04", F::C, Addr::A21, 0}, // 30
    {"", F::None, Addr::None, 0}, // 31
    {"", F::None, Addr::None, 0}, // 32
    {"C-05", F::C, Addr::A21, 0}, // 33
    {"C-06", F::C, Addr::C01, kLittleEndian | kFixedPresets}, // 34
    {"", F::None, Addr::None, 0}, // 35
    {"", F::None, Addr::None, 0}, // 36
    {"", F::None, Addr::None, 0}, // 37
    {"", F::None, Addr::None, 0}, // 38
    {"", F::None, Addr::None, 0}, // 39
    {"C-07", F::C, Addr::A21, 0}, // 40
}};
// clang-format on

// X, Y, M, L, K, F, T, C, S, D, Z, R, TC, TS, CC, CS
// clang-format off
constexpr CapacityTable kCapacities{{
    {{256, 256, 512, 128, 128, 128, 1024, 1024, 100, 10000, 1024, 16, 4096, 4096, 4096, 4096}}, // 0
    {{128, 128, 512, 128, 128, 128, 1024, 1024, 100, 8000, 1024, 16, 4096, 4096, 4096, 4096}}, // 1
    {{64, 64, 512, 128, 128, 128, 1024, 1024, 100, 10000, 1024, 16, 4096, 4096, 4096, 4096}}, // 2
    {{24, 24, 512, 128, 128, 128, 1024, 1024, 100, 5000, 1024, 16, 4096, 4096, 4096, 4096}}, // 3
    {{8, 8, 256, 64, 64, 128, 256, 256, 100, 5000, 1024, 16, 4096, 4096, 4096, 4096}}, // 4
    {{512, 512, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 5
    {{256, 256, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 6
    {{128, 128, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 7
    {{512, 512, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 8
    {{256, 256, 512, 128, 128, 128, 1024, 1024, 100, 10000, 1024, 16, 4096, 4096, 4096, 4096}}, // 9
    {{64, 64, 512, 256, 256, 128, 32, 32, 100, 10000, 1024, 16, 512, 512, 512, 512}}, // 10
    {{512, 512, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 11
    {{256, 256, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 12
    {{128, 128, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 13
    {{64, 64, 512, 256, 256, 128, 32, 32, 100, 10000, 1024, 16, 512, 512, 512, 512}}, // 14
    {{512, 512, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 15
    {{256, 256, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 16
    {{128, 128, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 17
    {{256, 256, 512, 128, 128, 128, 1024, 1024, 100, 10000, 1024, 16, 1024, 1024, 1024, 1024}}, // 18
    {{24, 24, 512, 128, 128, 128, 1024, 1024, 100, 5000, 1024, 16, 1024, 1024, 1024, 1024}}, // 19
    {{512, 512, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 20
    {{256, 256, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 21
    {{128, 128, 1000, 1000, 1000, 128, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 22
    {{1024, 1024, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 23
    {{512, 512, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 24
    {{256, 256, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 25
    {{1024, 1024, 4096, 4096, 4096, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 26
    {{512, 512, 4096, 4096, 4096, 256, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 27
    {{256, 256, 4096, 4096, 4096, 256, 4096, 4096, 100, 32000, 1024, 16, 4096, 4096, 4096, 4096}}, // 28
    {{64, 64, 512, 256, 256, 128, 32, 32, 100, 10000, 1024, 16, 512, 512, 512, 512}}, // 29
    {{512, 512, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 30
    {{256, 256, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 31
    {{128, 128, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 32
    {{512, 512, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 33
    {{64, 64, 512, 256, 256, 128, 32, 32, 100, 10000, 1024, 16, 512, 512, 512, 512}}, // 34
    {{256, 256, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 35
    {{128, 128, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 36
    {{512, 512, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 37
    {{256, 256, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 38
    {{128, 128, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 39
    {{512, 512, 1000, 1000, 1000, 256, 4096, 4096, 100, 32000, 1024, 16, 512, 4096, 4096, 4096}}, // 40
}};
// clang-format on

// Device id -> capacity column; -1 where the id has no column.
constexpr int columnOfDeviceId(int deviceId) {
    switch (deviceId) {
    case 1:
        return 0; // X
    case 2:
        return 1; // Y
    case 3:
        return 2; // M
    case 4:
        return 3; // L
    case 5:
        return 4; // K
    case 6:
        return 5; // F
    case 7:
        return 6; // T
    case 8:
        return 7; // C
    case 11:
        return 8; // S
    case 9:
        return 9; // D
    case 12:
        return 10; // Z
    case 14:
        return 11; // R
    case 48:
        return 12; // TC
    case 49:
        return 13; // TS
    case 50:
        return 14; // CC
    case 51:
        return 15; // CS
    default:
        return -1;
    }
}

constexpr std::string_view kGroupG1 = "A - G1";
constexpr std::string_view kGroupG2 = "A - G2";
constexpr std::string_view kGroupG3 = "A - G3";
constexpr std::string_view kGroupC = "C";

// clang-format off
constexpr std::array<CpuTypeButton, 17> kNormalButtons{{
    {5, 1055, kGroupG1, 0},  {6, 1057, kGroupG1, 0},  {7, 1058, kGroupG1, 0},
    {15, 1059, kGroupG1, 1}, {16, 1060, kGroupG1, 1}, {17, 1061, kGroupG1, 1},
    {20, 1089, kGroupG1, 2}, {21, 1090, kGroupG1, 2}, {22, 1091, kGroupG1, 2},
    {26, 1092, kGroupG2, 0}, {27, 1093, kGroupG2, 0}, {28, 1094, kGroupG2, 0},
    {2, 1062, kGroupG3, 0},  {3, 1063, kGroupG3, 0},  {18, 1065, kGroupG3, 1},
    {19, 1066, kGroupG3, 1}, {10, 1068, kGroupC, 0},
}};
// clang-format on

constexpr std::array<CpuTypeButton, 5> kLinuxButtons{{
    {26, 1085, kGroupG1, 0},
    {27, 1086, kGroupG1, 0},
    {28, 1087, kGroupG1, 0},
    {30, 1088, kGroupC, 0},
    {40, 1095, kGroupC, 0},
}};

bool hasRule(CpuType code, unsigned rule) {
    return code < kModels.size() && (kModels[code].rules & rule) != 0;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

} // namespace

std::string_view CpuTypeTable::displayName(CpuType code) {
    return code < kModels.size() ? kModels[code].name : std::string_view{};
}

CpuFamily CpuTypeTable::family(CpuType code) {
    return code < kModels.size() ? kModels[code].family : CpuFamily::None;
}

AddressMap CpuTypeTable::addressMap(CpuType code) {
    return code < kModels.size() ? kModels[code].addresses : AddressMap::None;
}

bool CpuTypeTable::littleEndianProgramLengths(CpuType code) { return hasRule(code, kLittleEndian); }

bool CpuTypeTable::hasStPrograms(CpuType code) { return hasRule(code, kStPrograms); }

bool CpuTypeTable::addressesSInWords(CpuType code) { return hasRule(code, kSInWords); }

bool CpuTypeTable::restoresPresets(CpuType code) { return !hasRule(code, kFixedPresets); }

std::uint16_t CpuTypeTable::capacity(CpuType code, int deviceId) {
    const int column = columnOfDeviceId(deviceId);
    if (column < 0 || code >= kCapacities.size()) {
        return 0;
    }
    return kCapacities[code][static_cast<std::size_t>(column)];
}

const CapacityTable& CpuTypeTable::capacities() { return kCapacities; }

std::span<const CpuTypeButton> CpuTypeTable::normalDialogButtons() { return kNormalButtons; }

std::span<const CpuTypeButton> CpuTypeTable::linuxDialogButtons() { return kLinuxButtons; }

bool CpuTypeTable::isLinuxDialogType(CpuType code) {
    return std::any_of(kLinuxButtons.begin(), kLinuxButtons.end(),
                       [code](const CpuTypeButton& b) { return b.code == code; });
}

CpuType CpuTypeTable::parse(std::string_view text) {
    if (!text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec == std::errc{} && end == text.data() + text.size() && value <= kMaxCpuType) {
            return static_cast<CpuType>(value);
        }
        return kNoCpuType;
    }
    for (CpuType code = 0; code <= kMaxCpuType; ++code) {
        const auto name = displayName(code);
        if (!name.empty() && equalsIgnoringCase(name, text)) {
            return code;
        }
    }
    return kNoCpuType;
}

} // namespace dlu
