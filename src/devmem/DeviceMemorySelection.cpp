#include "devmem/DeviceMemorySelection.h"

#include "common/MessageIds.h"
#include "devmem/DeviceTransferPlan.h"
#include "devmem/PdmImage.h"
#include "plc/DeviceArea.h"

namespace dlu {

namespace {

constexpr std::array kDefaultAreas{AreaIndex::M, AreaIndex::L, AreaIndex::K, AreaIndex::D};
} // namespace

DeviceMemorySelection::DeviceMemorySelection(DeviceMemoryMode mode, CpuType cpuType,
                                             const Messages& messages)
    : mode_(mode), cpuType_(cpuType), messages_(messages) {}

WordRange DeviceMemorySelection::full(int area) const {
    return {0, DeviceRanges::capacity(area, cpuType_)};
}

std::uint16_t DeviceMemorySelection::checkedBits() const {
    std::uint16_t bits = 0;
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        if (area(i).checked) {
            bits = static_cast<std::uint16_t>(bits | (1u << i));
        }
    }
    return bits;
}

DeviceRangeSet DeviceMemorySelection::ranges() const {
    DeviceRangeSet out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = areas_[i].range;
    }
    return out;
}

bool DeviceMemorySelection::setChecked(int index, bool checked) {
    auto& a = areas_[static_cast<std::size_t>(index)];
    if (!a.buttonEnabled) {
        return false;
    }
    a.checked = checked;
    a.editsEnabled = checked;
    return true;
}

void DeviceMemorySelection::setRange(int index, WordRange range) {
    areas_[static_cast<std::size_t>(index)].range = range;
    editFinished(index);
}

void DeviceMemorySelection::editFinished(int index) {
    auto& a = areas_[static_cast<std::size_t>(index)];
    notice_ = DeviceRanges::applyFullRange(a.range, index, cpuType_, messages_).text;
}

void DeviceMemorySelection::applyRestoreRestrictions() {
    if (!restoring()) {
        return;
    }
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        if (DeviceTransferPlan::restoreAllowed(i, cpuType_)) {
            continue;
        }
        auto& a = areas_[static_cast<std::size_t>(i)];
        a.checked = false;
        a.buttonEnabled = false;
        a.editsEnabled = false;
        // TS and CS of the small layouts keep their numbers; the areas no restore ever
        // writes show 0 to 0.
        const auto index = static_cast<AreaIndex>(i);
        if (index != AreaIndex::TS && index != AreaIndex::CS) {
            a.range = {};
        }
    }
}

void DeviceMemorySelection::setAll(bool checked) {
    all_ = checked;
    for (auto& a : areas_) {
        a.checked = checked;
        a.buttonEnabled = true;
        a.editsEnabled = checked;
    }
    // F is among the restricted areas, so the restrictions also clear and lock it.
    applyRestoreRestrictions();
}

void DeviceMemorySelection::setDefault() {
    all_ = false;
    areas_.fill(AreaControls{});
    for (const auto index : kDefaultAreas) {
        const int i = static_cast<int>(index);
        auto& a = areas_[static_cast<std::size_t>(i)];
        a.range = full(i);
        a.checked = true;
        a.editsEnabled = true;
    }
    applyRestoreRestrictions();
    notice_ = std::string(messages_(Msg::FullRangeHint));
}

void DeviceMemorySelection::setMaximum() {
    all_ = true;
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        auto& a = areas_[static_cast<std::size_t>(i)];
        a.checked = true;
        a.buttonEnabled = true;
        a.editsEnabled = true;
        a.range = full(i);
    }
    applyRestoreRestrictions();
}

void DeviceMemorySelection::clearAll() {
    for (auto& a : areas_) {
        a.range = {};
    }
}

void DeviceMemorySelection::uncheckAll() {
    all_ = false;
    for (auto& a : areas_) {
        a.checked = false;
        a.editsEnabled = false;
    }
    applyRestoreRestrictions();
}

void DeviceMemorySelection::takeFrom(const PdmImage& image) {
    const std::uint16_t bits = image.mask();
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        auto& a = areas_[static_cast<std::size_t>(i)];
        const auto r = image.range(i);
        a.range = {r.start, r.end};
        a.checked = (bits & (1u << i)) != 0;
        a.buttonEnabled = true;
        a.editsEnabled = a.checked;
    }
    applyRestoreRestrictions();
}

RangeCheck DeviceMemorySelection::validate() {
    RangeCheck check = DeviceRanges::validate(ranges(), checkedBits(), cpuType_, messages_);
    if (check.ok) {
        mask_ = check.mask;
    }
    return check;
}

} // namespace dlu
