#pragma once

#include "comm/FrameTrace.h"

#include <cstdio>
#include <string>
#include <vector>

namespace dlu {

// --verbose: one line for each request to the PLC and each answer, as they go, naming the
// command and the size of its frame but never its bytes (a password request shows no more
// than any other).
//   -> write (214-byte frame)
//   <- write answer (10-byte frame)
class RequestLog final : public FrameTrace {
public:
    explicit RequestLog(std::FILE* out, bool terminal);
    void frame(FrameDirection direction, std::chrono::system_clock::time_point when,
               std::span<const std::uint8_t> bytes) override;

    // The line for one frame; empty for something that is not a frame.
    static std::string describe(FrameDirection direction, std::span<const std::uint8_t> bytes);

private:
    std::FILE* out_;
    bool terminal_;
};

// Hands every frame to each of several traces (--trace and --verbose together).
class FrameTraces final : public FrameTrace {
public:
    void add(FrameTrace* trace) { traces_.push_back(trace); }
    bool empty() const { return traces_.empty(); }
    FrameTrace* single() { return traces_.size() == 1 ? traces_.front() : this; }
    void frame(FrameDirection direction, std::chrono::system_clock::time_point when,
               std::span<const std::uint8_t> bytes) override {
        for (auto* t : traces_) {
            t->frame(direction, when, bytes);
        }
    }

private:
    std::vector<FrameTrace*> traces_;
};

} // namespace dlu
