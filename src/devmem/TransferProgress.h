#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace dlu {

// What the progress of a device memory transfer shows: two text lines, a bar from 0 to 99 and
// the "Total : %d %%" figure of the area at hand; the same two figures over the whole transfer,
// through this step, which the progress window shows so that it does not start again at every
// area; and, for a rate and the time left, the bytes the whole transfer moved before this
// step and the bytes it moves in all (0: not known).
struct TransferProgress {
    std::string line1;
    std::string line2;
    int bar = 0;
    int percent = 0;
    int wholeBar = 0;
    int wholePercent = 0;
    std::uint64_t bytes = 0;
    std::uint64_t totalBytes = 0;
};

// Watches a backup or restore: the desktop program's progress window, the command line's
// progress bar, or a test. Every call comes from inside the transfer, on its own thread.
class TransferObserver {
public:
    virtual ~TransferObserver() = default;
    // The progress window opens (before the first request).
    virtual void opened() {}
    // Something on the window changed.
    virtual void update(const TransferProgress& /*progress*/) {}
    // The progress window closes (before the closing message, if any).
    virtual void closed() {}
    // Asked between chunks: true stops the transfer there (the user pressed Cancel and, for a
    // restore, confirmed it). May be asked from the transfer's thread at any time.
    virtual bool cancelled() { return false; }
};

} // namespace dlu

namespace dlu {

// Passes every call on to `inner` and keeps what the transfer said of its bytes: the most it
// had moved and the whole it meant to move, for the operation record.
class TransferTally final : public TransferObserver {
public:
    explicit TransferTally(TransferObserver& inner) : inner_(inner) {}

    void opened() override { inner_.opened(); }
    void update(const TransferProgress& progress) override {
        moved_ = std::max(moved_, progress.bytes);
        whole_ = std::max(whole_, progress.totalBytes);
        inner_.update(progress);
    }
    void closed() override { inner_.closed(); }
    bool cancelled() override { return inner_.cancelled(); }

    // The bytes moved: the whole for a transfer that went through, else as far as it got.
    std::uint64_t bytes(bool done) const { return done ? whole_ : moved_; }

private:
    TransferObserver& inner_;
    std::uint64_t moved_ = 0;
    std::uint64_t whole_ = 0;
};

} // namespace dlu
