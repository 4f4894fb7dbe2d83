#include "devmem/DeviceRanges.h"

#include "common/TextFormat.h"
#include "devmem/DeviceArea.h"

namespace dlu {

namespace {
constexpr int kMsgFullRangeHint = 558;
constexpr int kMsgFullRangeDone = 559;
constexpr int kMsgOrderError = 561;
constexpr int kMsgRangeError = 562;
} // namespace

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
            result.message += formatText(messages(kMsgRangeError), static_cast<int>(cap) - 1);
        } else {
            result.message += messages(kMsgOrderError);
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
                      std::string(messages(kMsgFullRangeDone));
    } else {
        notice.text = std::string(messages(kMsgFullRangeHint));
    }
    return notice;
}

} // namespace dlu
