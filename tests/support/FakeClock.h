#pragma once

#include "common/Clock.h"

#include <vector>

namespace dlu::test {

// A clock that never waits: sleep() records the delay and moves the time on at once, so a test
// asserts delays instead of waiting for them.
class FakeClock final : public Clock {
public:
    TimePoint now() override { return now_; }
    void sleep(Duration d) override;

    void advance(Duration d) { now_ += d; }
    const std::vector<Duration>& sleeps() const { return sleeps_; }
    Duration totalSlept() const;
    void clearSleeps() { sleeps_.clear(); }

private:
    TimePoint now_{};
    std::vector<Duration> sleeps_;
};

} // namespace dlu::test
