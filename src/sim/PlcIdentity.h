#pragma once

#include "devmem/CpuTypeTable.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace dlu::sim {

// Identity words ("F0080": CPU code in the high byte, sub-code in the low byte) that the
// simulator can report, by the label the program shows for them.
struct PlcIdentity {
    std::string_view label;
    std::uint16_t word;
};

class PlcIdentities {
public:
    static std::span<const PlcIdentity> all();
    // By label, any letter case ("a-21").
    static std::optional<std::uint16_t> wordOf(std::string_view label);
    // The first identity whose label names `type` in the CPU type table.
    static std::optional<std::uint16_t> wordOfCpuType(CpuType type);
    // CPU type code whose device addresses a PLC of this identity uses; kNoCpuType when the
    // label names no type of the CPU type table.
    static CpuType cpuTypeOf(std::uint16_t word);
};

} // namespace dlu::sim
