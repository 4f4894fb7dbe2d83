#include "common/Clock.h"

#include <thread>

namespace dlu {

void SystemClock::sleep(Duration d) {
    if (d.count() > 0) {
        std::this_thread::sleep_for(d);
    }
}

} // namespace dlu
