#pragma once

#include "common/StringTable.h"
#include "plc/CpuTypeTable.h"

#include <array>
#include <cstdint>
#include <string>

namespace dlu {

// Words start .. end - 1 of one area; end 0 covers nothing.
struct WordRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    bool operator==(const WordRange&) const = default;
};

using DeviceRangeSet = std::array<WordRange, kDeviceAreaCount>;

struct RangeCheck {
    bool ok = false;
    int failingArea = -1;   // index of the first failing area, -1 on success
    std::string message;    // summary prefix + the order or range error text
    std::uint16_t mask = 0; // on success: bit i set for every selected area i
};

struct FullRangeNotice {
    bool changed = false; // the range was widened to the whole area
    std::string text;     // for the notice line
};

class DeviceRanges {
public:
    // Checks the selected areas (bit i of `selected` = area i's button is checked) in index
    // order and stops at the first that fails. An end equal to the capacity passes; the range
    // error names capacity - 1 as the largest address and wins over the order error.
    static RangeCheck validate(const DeviceRangeSet& ranges, std::uint16_t selected,
                               CpuType cpuType, const Messages& messages);

    // Run when an edit of an area loses the focus: equal non-zero start and end ask for the
    // whole area (0 to capacity).
    static FullRangeNotice applyFullRange(WordRange& range, int areaIndex, CpuType cpuType,
                                          const Messages& messages);

    // Capacity of area `areaIndex` for a CPU type, in words.
    static std::uint16_t capacity(int areaIndex, CpuType cpuType);
};

} // namespace dlu
