#include "common/ProgressText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>

namespace dlu {
namespace {

using namespace std::chrono_literals;

// Known answers worked out by hand: rate = sent * 8 / seconds (kbit/s below 1 Mbit/s, then
// KB/s and MB/s of 1000), time left = (total - sent) * seconds / sent, rounded up.
TEST(ProgressText, BytesRateAndTimeLeftOfATransfer) {
    struct Case {
        std::uint64_t sent;
        std::uint64_t total;
        ProgressText::Seconds elapsed;
        const char* bytes;
        const char* rate;
        const char* left;
    };
    const Case cases[] = {
        {90'112, 215'866, 25600ms, "90,112 / 215,866 bytes", "28.2 kbit/s", "0:36 left"},
        {2'000, 62'000, 4s, "2,000 / 62,000 bytes", "4.0 kbit/s", "2:00 left"},
        {1'000, 3'602'000, 1s, "1,000 / 3,602,000 bytes", "8.0 kbit/s", "1:00:01 left"},
        {1'000, 4'000, 3000s, "1,000 / 4,000 bytes", "0.0 kbit/s", "2:30:00 left"},
        // A thousandth of a second left is shown as a whole second.
        {999, 1'000, 1s, "999 / 1,000 bytes", "8.0 kbit/s", "0:01 left"},
        // Where bits give way to bytes, and kilobytes to megabytes.
        {124'999, 250'000, 1s, "124,999 / 250,000 bytes", "1000.0 kbit/s", "0:02 left"},
        {125'000, 250'000, 1s, "125,000 / 250,000 bytes", "125.0 KB/s", "0:01 left"},
        {999'999, 0, 1s, "999,999 bytes", "1000.0 KB/s", ""},
        {1'000'000, 0, 1s, "1,000,000 bytes", "1.0 MB/s", ""},
        // Done, nothing sent yet, or too soon to tell.
        {3'000'000, 3'000'000, 2s, "3,000,000 / 3,000,000 bytes", "1.5 MB/s", ""},
        {0, 100, 5s, "0 / 100 bytes", "0.0 kbit/s", ""},
        {500, 1'000, 49ms, "500 / 1,000 bytes", "-", ""},
        {0, 0, 0s, "0 bytes", "-", ""},
    };
    for (const auto& c : cases) {
        const ProgressTexts texts = ProgressText::texts(c.sent, c.total, c.elapsed);
        EXPECT_EQ(texts.bytes, c.bytes) << c.sent << " of " << c.total;
        EXPECT_EQ(texts.rate, c.rate) << c.sent << " in " << c.elapsed.count() << " s";
        EXPECT_EQ(texts.timeLeft, c.left) << c.sent << " of " << c.total;
    }
}

TEST(ProgressText, DigitsInGroupsOfThree) {
    struct Case {
        std::uint64_t n;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"},
        {999, "999"},
        {1'000, "1,000"},
        {100'000, "100,000"},
        {1'234'567, "1,234,567"},
        {std::numeric_limits<std::uint64_t>::max(), "18,446,744,073,709,551,615"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProgressText::grouped(c.n), c.text);
    }
}

// A whole transfer's rate is told however short it was; only no time at all has none.
TEST(ProgressText, MeasuredRateOfAShortTransfer) {
    EXPECT_EQ(ProgressText::measuredRate(500, 10ms), "400.0 kbit/s");
    EXPECT_EQ(ProgressText::measuredRate(500, 0s), "-");
}

} // namespace
} // namespace dlu
