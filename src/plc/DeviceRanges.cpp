#include "plc/DeviceRanges.h"

#include "common/MessageIds.h"
#include "common/TextFormat.h"
#include "plc/DeviceArea.h"

namespace dlu {

std::uint16_t DeviceRanges::capacity(int areaIndex, CpuType cpuType) {
    return CpuTypeTable::capacity(cpuType, DeviceAreas::at(areaIndex).deviceId);
}

RangeCheck DeviceRanges::validate(const DeviceRangeSet& ranges, std::uint16_t selected,
                                  CpuType cpuType, const Messages& messages) {
    RangeCheck result;
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        if ((selected & (1u << i)) == 0) {
            continue;
        }
        const auto& r = ranges[static_cast<std::size_t>(i)];
        const std::uint32_t cap = capacity(i, cpuType);
        const bool rangeError = (r.start != 0 && r.start > cap) || (r.end != 0 && r.end > cap);
        const bool orderError = r.end != 0 && r.start > r.end;
        if (!rangeError && !orderError) {
            continue;
        }
        result.failingArea = i;
        result.message = std::string(DeviceAreas::at(i).summaryPrefix);
        if (rangeError) {
            result.message += formatText(messages(Msg::RangeError), static_cast<int>(cap) - 1);
        } else {
            result.message += messages(Msg::OrderError);
        }
        return result;
    }
    result.ok = true;
    result.mask = selected;
    return result;
}

FullRangeNotice DeviceRanges::applyFullRange(WordRange& range, int areaIndex, CpuType cpuType,
                                             const Messages& messages) {
    FullRangeNotice notice;
    if (range.start != 0 && range.end != 0 && range.start == range.end) {
        range = {0, capacity(areaIndex, cpuType)};
        notice.changed = true;
        notice.text = std::string(DeviceAreas::at(areaIndex).noticePrefix) +
                      std::string(messages(Msg::FullRangeDone));
    } else {
        notice.text = std::string(messages(Msg::FullRangeHint));
    }
    return notice;
}

} // namespace dlu
