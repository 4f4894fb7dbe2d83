#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace dlu {

// One item of a download as the PLC receives it: a kind letter and an id, sent in `blocks`
// 'D' requests of at most 238 bytes. Every PBT entry is an item of its own (one block).
struct DownloadItemPlan {
    std::uint8_t kind = 0;
    std::uint8_t id = 0;
    std::uint64_t bytes = 0;
    std::uint32_t blocks = 0;
    std::string label; // "Parameter", "PBT 005", "Program 003", "ST005 Main.STB", ...
};

// Where a download stands after one request.
struct DownloadProgress {
    const DownloadItemPlan* item = nullptr; // the item being sent
    std::size_t itemIndex = 0;              // of the planned items, from 0
    std::size_t itemCount = 0;
    std::uint32_t block = 0; // index of the block just sent
    std::uint64_t bytesSent = 0;
    std::uint64_t totalBytes = 0;

    int percent() const {
        return totalBytes == 0 ? 100 : static_cast<int>(bytesSent * 100 / totalBytes);
    }
    // The block just sent was the item's last (an empty item goes in one block).
    bool itemDone() const { return item != nullptr && block + 1 >= std::max(item->blocks, 1u); }
};

// Watches a download: the command line's progress bar, the desktop progress window, a test.
// Every call comes from inside the sequence, on its thread, between two requests.
class DownloadObserver {
public:
    virtual ~DownloadObserver() = default;
    // Everything the download will send, known before the first request.
    virtual void planned(std::span<const DownloadItemPlan> /*items*/,
                         std::uint64_t /*totalBytes*/) {}
    virtual void itemStarted(const DownloadItemPlan& /*item*/, std::size_t /*index*/) {}
    virtual void blockSent(const DownloadProgress& /*progress*/) {}
    // The sequence is over (before its closing message, if any).
    virtual void finished(bool /*succeeded*/) {}
    // Asked before every request of the sequence: true stops the download there, between
    // two blocks, never inside one (the user pressed Cancel or Ctrl-C).
    virtual bool cancelled() { return false; }
};

} // namespace dlu
