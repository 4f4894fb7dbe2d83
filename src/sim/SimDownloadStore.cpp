#include "sim/SimDownloadStore.h"

#include "comm/CProtocol.h"
#include "sim/SimRequest.h"

#include <algorithm>

namespace dlu::sim {

std::vector<std::uint8_t> DownloadItem::bytes() const {
    std::vector<std::uint8_t> all;
    for (const auto& block : blocks) {
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

std::size_t SimDownloadStore::fixedSize(std::uint8_t kind) {
    if (kind == 'B') {
        return 4;
    }
    if (kind == 'P' || kind == 'C' || CProtocol::downloadKindAlwaysHasHeader(kind)) {
        return 8;
    }
    return 0;
}

bool SimDownloadStore::layoutFits(std::span<const std::uint8_t> d) {
    if (d.empty()) {
        return false;
    }
    const std::size_t fixed = fixedSize(d[0]);
    return fixed != 0 && d.size() >= fixed && d.size() == fixed + be16(d, fixed - 2);
}

std::uint8_t SimDownloadStore::layoutError(std::span<const std::uint8_t> d) {
    return d.empty() || fixedSize(d[0]) == 0 ? plc_error::kInvalidValue : plc_error::kDataSize;
}

std::optional<std::uint8_t> SimDownloadStore::addBlock(std::span<const std::uint8_t> d,
                                                       std::optional<DownloadItem>& finished) {
    const std::uint8_t kind = d[0];
    const auto block = d.subspan(fixedSize(kind));
    const std::uint8_t id = kind == 'P' ? 0 : d[1];
    // 'B' carries no block count: every PBT block is an item of its own.
    const std::uint16_t count = kind == 'B' ? 1 : be16(d, 2);
    const std::uint16_t index = kind == 'B' ? 0 : be16(d, 4);

    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const DownloadItem& item) {
        return item.kind == kind && item.id == id;
    });
    if (count == 0 || index >= count) {
        return plc_error::kInvalidValue;
    }
    if (index == 0) {
        if (it != pending_.end()) {
            pending_.erase(it); // a new start replaces an unfinished item
        }
        pending_.push_back(DownloadItem{kind, id, count, {}});
        it = std::prev(pending_.end());
    } else if (it == pending_.end() || it->blockCount != count || it->blocks.size() != index) {
        // A block out of order, or of an item that never started: the item is lost.
        if (it != pending_.end()) {
            pending_.erase(it);
        }
        return plc_error::kInvalidValue;
    }
    it->blocks.emplace_back(block.begin(), block.end());
    if (it->blocks.size() == it->blockCount) {
        finished = std::move(*it);
        pending_.erase(it);
    }
    return std::nullopt;
}

void SimDownloadStore::keep(DownloadItem&& item) {
    items_.push_back(std::move(item));
    if (sink_) {
        sink_(items_.back());
    }
}

} // namespace dlu::sim
