#pragma once

#include <chrono>

namespace dlu {

// Port to time: the core never sleeps or reads the time by itself, so that tests can make
// delays (Tx delay, retries, dial-up polls) instant and assert them.
class Clock {
public:
    using Duration = std::chrono::milliseconds;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual TimePoint now() = 0;
    virtual void sleep(Duration d) = 0;
};

// The real clock.
class SystemClock final : public Clock {
public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    void sleep(Duration d) override;
};

} // namespace dlu
