#pragma once

#include "plc/CpuTypeTable.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace dlu {

// Turns a device name such as "F0080", "D00100", "TC0012" or "S07" into the 32-bit address
// that travels in read and write frames. The base of each letter depends on the family of
// the project's CPU type. 0 means the name is invalid (or the type has no addresses); the
// session then sends nothing.
class DeviceAddress {
public:
    // `simulatorConnection`: the session talks to the PLC simulator, which addresses S in
    // bytes even for the CPU types that address it in words.
    static std::uint32_t fromName(std::string_view name, CpuType projectCpuType,
                                  bool simulatorConnection);

    // Base address of a letter ("X" ... "CS", "W") for a CPU type; 0 when it has none.
    static std::uint32_t base(std::string_view letter, CpuType projectCpuType);

    // One CPU type of each address map (CpuTypeTable::addressMap), in the order a PLC of
    // unknown type is searched.
    static std::span<const CpuType> probeTypes();
};

} // namespace dlu
