#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace dlu {

// The three texts a transfer's progress shows, as dlutil's terminal line and the desktop
// program's progress window both show them.
struct ProgressTexts {
    std::string bytes;    // "90,112 / 215,866 bytes"; "90,112 bytes" while the total is not known
    std::string rate;     // "28.2 kbit/s"; "-" before a measurable time has passed
    std::string timeLeft; // "0:44 left"; empty while nothing is known to compute it from
};

// How far a transfer has come, made into text. Plain functions of what they are given (no
// clock, no language): the caller measures the time and calls as often as it redraws.
class ProgressText {
public:
    using Seconds = std::chrono::duration<double>;

    // `sent` of `total` bytes (total 0: not known) have gone in `elapsed` since the start.
    static ProgressTexts texts(std::uint64_t sent, std::uint64_t total, Seconds elapsed);

    static std::string bytes(std::uint64_t sent, std::uint64_t total);
    // Serial lines are spoken of in bits ("28.2 kbit/s"), anything faster in bytes ("200.0
    // KB/s", "1.5 MB/s"); "-" below a twentieth of a second, which says more about the timer
    // than about the link.
    static std::string rate(std::uint64_t sent, Seconds elapsed);
    // The same for a whole transfer, however short; "-" only when no time passed at all.
    static std::string measuredRate(std::uint64_t sent, Seconds elapsed);
    // "0:41 left", "1:02:05 left", rounded up to the second.
    static std::string timeLeft(std::uint64_t sent, std::uint64_t total, Seconds elapsed);
    // 1234567 -> "1,234,567".
    static std::string grouped(std::uint64_t n);
};

} // namespace dlu
