#include "sim/PlcIdentity.h"

#include "comm/COnlineModule.h"
#include "plc/PlcIdentification.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace dlu::sim {

namespace {

// One identity per row of the identification table. Where the sub-code does not matter it is
// '0'; of several listed sub-codes the first is taken.
//
// Models outside the CPU type table answer at the addresses of a type they are used with:
// C-08 refuses the C-01 and C-06 projects and takes C-02 and C-03 ones (all four share one
// address layout), C-09 the other way round. C-10 and C-11 refuse every type that has device
// addresses; they keep their words where their sibling C-04 does. The 'P' models are never
// compared with a project: they take the layout of the newest C type.
// clang-format off
constexpr std::array<PlcIdentity, 38> kIdentities{{
    {"A-01", 0x3130, 0},  {"A-02", 0x3230, 1},  {"A-03", 0x3330, 2},  {"A-04", 0x3430, 3},
    {"B-01", 0x4230, 4},
    {"A-09", 0x5800, 9},  {"A-05", 0x5810, 5},  {"A-06", 0x5820, 6},  {"A-07", 0x5830, 7},
    {"C-08", 0x5530, 14}, {"C-09", 0x7530, 10},
    {"A-10", 0x6D31, 11}, {"A-11", 0x6D32, 12}, {"A-12", 0x6D33, 13},
    {"A-13", 0x7831, 15}, {"A-14", 0x7832, 16}, {"A-15", 0x7833, 17},
    {"A-16", 0x4333, 18}, {"A-17", 0x4334, 19},
    {"A-18", 0x6631, 20}, {"A-19", 0x6632, 21}, {"A-20", 0x6633, 22},
    {"A-18", 0x7331, 20}, {"A-19", 0x7332, 21}, {"A-20", 0x7333, 22},
    {"A-21", 0x7A31, 26}, {"A-22", 0x7A32, 27}, {"A-23", 0x7A33, 28},
    {"C-04", 0x5A31, 30}, {"C-10", 0x5A34, 30}, {"C-11", 0x5A37, 30}, {"C-05", 0x5A4C, 33},
    {"C-12", 0x5031, 40}, {"C-13", 0x5032, 40}, {"C-14", 0x5033, 40},
    {"C-12-EIP", 0x5041, 40}, {"C-13-EIP", 0x5042, 40}, {"C-14-EIP", 0x5043, 40},
}};
// clang-format on

// Firmware versions tried in turn when a scheme is wanted: the exchange first.
constexpr std::array<std::uint16_t, 3> kFirmwareChoices{PlcIdentities::kDefaultFirmware, 345, 255};

bool sameLabel(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::uint8_t codeOf(std::uint16_t word) { return static_cast<std::uint8_t>(word >> 8); }

} // namespace

std::span<const PlcIdentity> PlcIdentities::all() { return kIdentities; }

const PlcIdentity* PlcIdentities::find(std::string_view label) {
    const auto it = std::find_if(kIdentities.begin(), kIdentities.end(),
                                 [&](const PlcIdentity& i) { return sameLabel(i.label, label); });
    return it == kIdentities.end() ? nullptr : &*it;
}

const PlcIdentity* PlcIdentities::findWord(std::uint16_t word) {
    // The program's own table decides which row a word falls in.
    const PlcIdentityMatch match = PlcIdentification::identify(word, kNoCpuType);
    if (!match.listed) {
        return nullptr;
    }
    for (const auto& identity : kIdentities) {
        if (identity.label == match.label && codeOf(identity.word) == codeOf(word)) {
            return &identity;
        }
    }
    return nullptr;
}

std::optional<std::uint16_t> PlcIdentities::wordOf(std::string_view label) {
    const PlcIdentity* identity = find(label);
    return identity ? std::optional(identity->word) : std::nullopt;
}

std::optional<std::uint16_t> PlcIdentities::wordOfCpuType(CpuType type) {
    if (type == kNoCpuType) {
        return std::nullopt;
    }
    for (const auto& identity : kIdentities) {
        if (CpuTypeTable::parse(identity.label) == type) {
            return identity.word;
        }
    }
    for (const auto& identity : kIdentities) {
        if (identity.cpuType == type) {
            return identity.word;
        }
    }
    return std::nullopt;
}

CpuType PlcIdentities::cpuTypeOf(std::uint16_t word) {
    const PlcIdentity* identity = findWord(word);
    return identity ? identity->cpuType : kNoCpuType;
}

bool PlcIdentities::usesStoredCheck(std::uint16_t word, std::uint16_t firmware) {
    return COnlineModule::passwordScheme(codeOf(word), firmware) ==
           COnlineModule::PasswordScheme::StoredCheck;
}

std::optional<std::uint16_t> PlcIdentities::firmwareFor(std::uint16_t word, bool storedCheck) {
    for (const std::uint16_t firmware : kFirmwareChoices) {
        if (usesStoredCheck(word, firmware) == storedCheck) {
            return firmware;
        }
    }
    return std::nullopt;
}

} // namespace dlu::sim
