#include "devmem/DeviceTransferPlan.h"

#include "common/MessageIds.h"
#include "common/TextFormat.h"
#include "plc/DeviceArea.h"

#include <algorithm>

namespace dlu {

void AreaProgress::apply(const DeviceChunk& chunk) {
    if (chunk.last) {
        bar_ = 99;
        percent_ = 100.0;
        return;
    }
    bar_ = std::min(99, bar_ + chunk.advance);
    percent_ += chunk.advance;
}

WholeProgress WholeProgress::through(std::uint64_t bytes, std::uint64_t total) {
    const std::uint64_t done = total == 0 ? 100 : std::min(bytes, total) * 100 / total;
    const int percent = static_cast<int>(done);
    return {std::min(99, percent), percent};
}

DeviceChunk DeviceTransferPlan::chunk(int area, const WordRange& range, int n,
                                      TransferDirection direction, const Messages& messages) {
    DeviceChunk c;
    if (range.start == 0 && range.end == 0) {
        return c;
    }
    const std::int64_t first = std::int64_t{range.start} + std::int64_t{kChunkWords} * n;
    const std::int64_t rest = std::int64_t{range.end} - first;
    if (rest < kChunkWords + 1) {
        c.count = static_cast<int>(std::max<std::int64_t>(rest, 0));
        c.last = true;
    } else {
        c.count = kChunkWords;
        const std::int64_t hundreds = (std::int64_t{range.end} - range.start) / kChunkWords;
        c.advance = static_cast<int>(kChunkWords / hundreds);
    }
    if (c.count < 1 || first < 0 || first > 0xFFFFFFFF) {
        c.count = 0;
        return c;
    }
    c.address = DeviceAreas::transferAddress(area, static_cast<std::uint32_t>(first));
    const bool upload = direction == TransferDirection::Upload;
    c.line1 = "<" + std::string(DeviceAreas::at(area).progressPrefix) +
              std::string(messages(upload ? Msg::UploadLine1 : Msg::DownloadLine1));
    c.line2 = c.address + (upload ? std::string(messages(Msg::UploadLine2))
                                  : formatText(messages(Msg::DownloadLine2), c.count));
    return c;
}

bool DeviceTransferPlan::restoreAllowed(int area, CpuType cpuType) {
    switch (static_cast<AreaIndex>(area)) {
    case AreaIndex::F:
    case AreaIndex::T:
    case AreaIndex::C:
    case AreaIndex::S:
    case AreaIndex::Z:
    case AreaIndex::R:
        return false;
    case AreaIndex::TS:
    case AreaIndex::CS:
        return CpuTypeTable::restoresPresets(cpuType);
    default:
        return area >= 0 && area < DeviceAreas::kCount;
    }
}

} // namespace dlu
