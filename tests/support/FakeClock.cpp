#include "support/FakeClock.h"

namespace dlu::test {

void FakeClock::sleep(Duration d) {
    sleeps_.push_back(d);
    now_ += d;
}

FakeClock::Duration FakeClock::totalSlept() const {
    Duration total{0};
    for (const Duration d : sleeps_) {
        total += d;
    }
    return total;
}

} // namespace dlu::test
