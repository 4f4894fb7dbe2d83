#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace dlu::sim {

// One item of a download, put together from its 'D' blocks.
struct DownloadItem {
    std::uint8_t kind = 0;
    std::uint8_t id = 0;
    std::uint16_t blockCount = 0; // value 1 of the blocks
    std::vector<std::vector<std::uint8_t>> blocks;

    std::vector<std::uint8_t> bytes() const;
};

// Puts the items of a download together from their 'D' blocks and keeps the finished ones.
class SimDownloadStore {
public:
    // Size of the fixed part of a 'D' block of `kind` (kind byte to size field), 0 if unknown.
    static std::size_t fixedSize(std::uint8_t kind);
    // Whether `data` is a whole 'D' block: a known kind whose size field matches the length.
    static bool layoutFits(std::span<const std::uint8_t> data);
    // The error code for a block whose layout does not fit.
    static std::uint8_t layoutError(std::span<const std::uint8_t> data);

    // Takes one block whose layout fits; an error code when it cannot be taken. The item it
    // completes, if any, is handed back in `finished` (not yet kept: see keep()).
    std::optional<std::uint8_t> addBlock(std::span<const std::uint8_t> data,
                                         std::optional<DownloadItem>& finished);
    // Keeps a finished item and tells the sink.
    void keep(DownloadItem&& item);

    const std::vector<DownloadItem>& items() const { return items_; }
    void setSink(std::function<void(const DownloadItem&)> sink) { sink_ = std::move(sink); }

private:
    // Items being received, by kind and id; finished ones in arrival order.
    std::vector<DownloadItem> pending_;
    std::vector<DownloadItem> items_;
    std::function<void(const DownloadItem&)> sink_;
};

} // namespace dlu::sim
