#pragma once

#include "common/StringTable.h"
#include "plc/CpuTypeTable.h"
#include "plc/DeviceRanges.h"

#include <cstdint>
#include <string>

namespace dlu {

enum class TransferDirection { Upload, Download };

// One request of a device memory backup or restore: up to 100 words of one area.
struct DeviceChunk {
    int count = 0;       // words; below 1 means the area is done
    std::string address; // transfer name of the chunk's first word
    bool last = false;   // the progress bar jumps to the end
    int advance = 0;     // else the progress bar steps this far
    std::string line1;   // "<[D] Device Upload>"
    std::string line2;   // "D00100 Uploading...(100Word)"
};

// Progress of one area: a bar from 0 to 99 and a percentage.
class AreaProgress {
public:
    void reset() {
        bar_ = 0;
        percent_ = 0.0;
    }
    void apply(const DeviceChunk& chunk);
    int bar() const { return bar_; }
    int percent() const { return static_cast<int>(percent_); }

private:
    int bar_ = 0;
    double percent_ = 0.0;
};

// Progress of a whole transfer over all its areas, by the bytes it has moved once the current
// step is through: the bar from 0 to 99 follows the percentage and ends at 99 with 100 %.
struct WholeProgress {
    int bar = 0;
    int percent = 0;
    // `total` 0 (nothing to move) counts as done.
    static WholeProgress through(std::uint64_t bytes, std::uint64_t total);
};

class DeviceTransferPlan {
public:
    static constexpr int kChunkWords = 100;

    // Chunk n of area `area` over `range`.
    static DeviceChunk chunk(int area, const WordRange& range, int n, TransferDirection direction,
                             const Messages& messages);

    // Whether a restore may write an area for a CPU type: F, T, C, S, Z and R never; TS and CS
    // only for the types that restore presets (CpuTypeTable::restoresPresets).
    static bool restoreAllowed(int area, CpuType cpuType);
};

} // namespace dlu
