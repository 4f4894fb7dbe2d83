#pragma once

#include "plc/CpuTypeTable.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace dlu::sim {

// One PLC the simulator can pretend to be: one row of the identification table.
struct PlcIdentity {
    std::string_view label; // as the program shows it ("A-21")
    std::uint16_t word;     // "F0080": CPU code in the high byte, sub-code in the low byte
    // The project CPU type whose device addresses this PLC answers at: the type of its own
    // model, or for a PLC without a model of its own a type it is used with.
    CpuType cpuType;
};

class PlcIdentities {
public:
    // Every row of the identification table, 'f' and 's' rows both, one identity each.
    static std::span<const PlcIdentity> all();
    // By label, any letter case ("a-21"); the first row of that label.
    static const PlcIdentity* find(std::string_view label);
    // The row the program takes a word for (any listed sub-code); nullptr for none.
    static const PlcIdentity* findWord(std::uint16_t word);

    static std::optional<std::uint16_t> wordOf(std::string_view label);
    // The identity whose label names `type` in the CPU type table, else the first one used
    // with that type.
    static std::optional<std::uint16_t> wordOfCpuType(CpuType type);
    // CPU type whose device addresses a PLC of this identity uses; kNoCpuType when unknown.
    static CpuType cpuTypeOf(std::uint16_t word);

    // A firmware version that makes the program choose the stored password check
    // (`storedCheck`) or the password exchange for a PLC of this identity; nothing when the
    // PLC never uses that scheme (only codes '1' to '4' and 'B' have the stored check).
    static std::optional<std::uint16_t> firmwareFor(std::uint16_t word, bool storedCheck);
    // Whether the program runs the stored password check with this identity and firmware.
    static bool usesStoredCheck(std::uint16_t word, std::uint16_t firmware);

    static constexpr std::uint16_t kDefaultFirmware = 400;
};

} // namespace dlu::sim
