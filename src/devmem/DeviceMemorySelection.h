#pragma once

#include "common/StringTable.h"
#include "plc/CpuTypeTable.h"
#include "plc/DeviceRanges.h"

#include <array>
#include <cstdint>
#include <string>

namespace dlu {

class PdmImage;

enum class DeviceMemoryMode { Backup, Restore };

// What one area's controls show: its button (checked, enabled) and its two range edits
// (enabled, numbers).
struct AreaControls {
    bool checked = false;
    bool buttonEnabled = true;
    bool editsEnabled = false;
    WordRange range;
    bool operator==(const AreaControls&) const = default;
};

// The choices of the device memory dialog without its widgets: the sixteen area buttons with
// their ranges, the All check box, the notice line and the selection mask. A dialog binds its
// controls to areas(); the command line sets them through the same operations, so both obey
// the same restore restrictions.
class DeviceMemorySelection {
public:
    DeviceMemorySelection(DeviceMemoryMode mode, CpuType cpuType, const Messages& messages);

    DeviceMemoryMode mode() const { return mode_; }
    bool restoring() const { return mode_ == DeviceMemoryMode::Restore; }
    CpuType cpuType() const { return cpuType_; }

    const std::array<AreaControls, kDeviceAreaCount>& areas() const { return areas_; }
    const AreaControls& area(int index) const { return areas_[static_cast<std::size_t>(index)]; }
    bool allChecked() const { return all_; }
    const std::string& notice() const { return notice_; }
    void setNotice(std::string text) { notice_ = std::move(text); }
    // Bit i set for every checked area i, as the buttons stand now.
    std::uint16_t checkedBits() const;
    // The mask of the last successful validation (0 before the first).
    std::uint16_t mask() const { return mask_; }
    DeviceRangeSet ranges() const;

    // An area button pressed. A button the restore may not use stays unchecked; false then.
    bool setChecked(int area, bool checked);
    // Typed into the edits; the full-range shortcut runs as when the edit loses the focus.
    void setRange(int area, WordRange range);
    // The edits of an area lost the focus: equal non-zero numbers ask for the whole area.
    void editFinished(int area);

    // The All check box.
    void setAll(bool checked);
    // Default: M, L, K and D over their whole capacity, nothing else.
    void setDefault();
    // Set maximum: every area over its whole capacity.
    void setMaximum();
    // Clear all: every range 0 to 0; the buttons stay.
    void clearAll();
    // Nothing checked, every edit disabled: how a restore starts before a file is loaded.
    void uncheckAll();
    // After a file was loaded: its ranges and mask become the buttons and edits.
    void takeFrom(const PdmImage& image);

    // Range validation of the checked areas; on success the mask is rebuilt from them.
    RangeCheck validate();

private:
    void applyRestoreRestrictions();
    WordRange full(int area) const;

    DeviceMemoryMode mode_;
    CpuType cpuType_;
    const Messages& messages_;
    std::array<AreaControls, kDeviceAreaCount> areas_{};
    bool all_ = false;
    std::uint16_t mask_ = 0;
    std::string notice_;
};

} // namespace dlu
