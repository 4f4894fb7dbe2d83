#include "cli/ProgressMeter.h"

#include "cli/RequestLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace dlu {
namespace {

using namespace std::chrono_literals;
using Clock = ProgressMeter::Clock;

// A clock the test moves by hand.
struct HandClock {
    Clock::time_point now{};
    std::function<Clock::time_point()> fn() {
        return [this] { return now; };
    }
};

TEST(ProgressMeter, RatesTimesLeftAndTheClosingLine) {
    struct Case {
        std::uint64_t done;
        std::uint64_t total;
        Clock::duration elapsed;
        const char* rate;
        const char* left;
    };
    const Case cases[] = {
        // 38,400 baud of 10-bit characters: 3,840 bytes a second.
        {3840, 7680, 1s, "30.7 kbit/s", "0:01 left"},
        {100, 400, 10s, "0.1 kbit/s", "0:30 left"},
        {1000, 4000, 3000s, "0.0 kbit/s", "2:30:00 left"},
        {200'000, 0, 1s, "200.0 KB/s", ""},
        {3'000'000, 3'000'000, 2s, "1.5 MB/s", ""},
        {0, 100, 5s, "0.0 kbit/s", ""},
        {500, 1000, 10ms, "-", ""},
    };
    for (const auto& c : cases) {
        HandClock clock;
        ProgressMeter meter(clock.fn());
        clock.now += c.elapsed;
        meter.advance(c.done, c.total);
        EXPECT_EQ(meter.rateText(), c.rate) << c.done << " in " << c.elapsed.count();
        EXPECT_EQ(meter.timeLeftText(), c.left) << c.done << " of " << c.total;
    }
    HandClock clock;
    ProgressMeter meter(clock.fn());
    clock.now += 61200ms;
    meter.advance(215'866, 215'866);
    EXPECT_EQ(meter.summary("Downloaded"), "Downloaded 215,866 bytes in 61.2 s (28.2 kbit/s)");
}

// However often the transfer reports, a terminal line is drawn at most ten times a second,
// and the last step is always drawn; without a terminal, or with --quiet, never.
TEST(ProgressMeter, RedrawsAreBounded) {
    struct Case {
        bool terminal;
        Verbosity verbosity;
        int minDraws;
        int maxDraws;
    };
    const Case cases[] = {
        {true, Verbosity::Normal, 10, 11},
        {true, Verbosity::Quiet, 0, 0},
        {false, Verbosity::Normal, 0, 0},
    };
    for (const auto& c : cases) {
        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        HandClock clock;
        ProgressLine line(out, c.terminal, c.verbosity, clock.fn());
        line.start();
        constexpr std::uint64_t kSteps = 1000;
        for (std::uint64_t i = 1; i <= kSteps; ++i) {
            clock.now += 1ms; // a second in all
            line.advance(static_cast<int>(i / 10), i * 10, kSteps * 10, "D");
        }
        line.summary("Restored", kSteps * 10);
        EXPECT_GE(line.redraws(), c.minDraws) << c.terminal;
        EXPECT_LE(line.redraws(), c.maxDraws) << c.terminal;

        std::rewind(out);
        std::string text(4096, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), out));
        std::fclose(out);
        if (c.terminal && c.verbosity == Verbosity::Normal) {
            EXPECT_NE(text.find("100%  10,000 / 10,000 bytes  80.0 kbit/s"), std::string::npos)
                << text;
        }
        // The closing line ends the output in every case.
        EXPECT_TRUE(text.ends_with("Restored 10,000 bytes in 1.0 s (80.0 kbit/s)\n")) << text;
    }
}

TEST(RequestLog, NamesTheCommandButShowsNoBytes) {
    // 05 64 | 'w' | length | station header | password "secret" | check code.
    const std::vector<std::uint8_t> login{0x05, 0x64, 0x77, 0x00, 0x09, 0x00, 0x01, 0x00,
                                          's',  'e',  'c',  'r',  'e',  't',  0x12, 0x34};
    EXPECT_EQ(RequestLog::describe(FrameDirection::Sent, login), "-> password (16-byte frame)");
    const std::vector<std::uint8_t> refused{0x05, 0x64, 0x45, 0x00, 0x04, 0x00,
                                            0x01, 0x00, 0x09, 0x00, 0x00};
    EXPECT_EQ(RequestLog::describe(FrameDirection::Received, refused), "<- error (11-byte frame)");
    const std::vector<std::uint8_t> noise{0x41, 0x42};
    EXPECT_EQ(RequestLog::describe(FrameDirection::Received, noise),
              "<- 2 bytes that make no frame");
}

} // namespace
} // namespace dlu
