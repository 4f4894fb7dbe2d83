#include "sim/PlcIdentity.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace dlu::sim {

namespace {

// One identity per label; where the sub-code does not matter it is '0', and of several
// sub-codes of one label the first is taken.
// clang-format off
constexpr std::array<PlcIdentity, 33> kIdentities{{
    {"A-01", 0x3130}, {"A-02", 0x3230}, {"A-03", 0x3330}, {"A-04", 0x3430},
    {"B-01", 0x4230},
    {"A-09", 0x5800}, {"A-05", 0x5810}, {"A-06", 0x5820}, {"A-07", 0x5830},
    {"C-08", 0x5530}, {"C-09", 0x7530},
    {"A-10", 0x6D31}, {"A-11", 0x6D32}, {"A-12", 0x6D33},
    {"A-13", 0x7831}, {"A-14", 0x7832}, {"A-15", 0x7833},
    {"A-16", 0x4333}, {"A-17", 0x4334},
    {"A-18", 0x6631}, {"A-19", 0x6632}, {"A-20", 0x6633},
    {"A-21", 0x7A31}, {"A-22", 0x7A32}, {"A-23", 0x7A33},
    {"C-04", 0x5A31}, {"C-10", 0x5A34}, {"C-11", 0x5A37}, {"C-05", 0x5A4C},
    {"C-12", 0x5031}, {"C-13", 0x5032}, {"C-14", 0x5033}, {"C-12-EIP", 0x5041},
}};
// clang-format on

bool sameLabel(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

std::span<const PlcIdentity> PlcIdentities::all() { return kIdentities; }

std::optional<std::uint16_t> PlcIdentities::wordOf(std::string_view label) {
    for (const auto& identity : kIdentities) {
        if (sameLabel(identity.label, label)) {
            return identity.word;
        }
    }
    return std::nullopt;
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
    return std::nullopt;
}

CpuType PlcIdentities::cpuTypeOf(std::uint16_t word) {
    for (const auto& identity : kIdentities) {
        if (identity.word == word) {
            return CpuTypeTable::parse(identity.label);
        }
    }
    return kNoCpuType;
}

} // namespace dlu::sim
