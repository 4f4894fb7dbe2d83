#include "comm/FrameReceiver.h"

#include "comm/TestFrames.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace dlu {
namespace {

using test::concat;
using test::loaderFrame;
using test::StationHeader;
using Result = FrameReceiver::Result;

struct Outcome {
    Result result;
    std::size_t bytesUsed;
};

Outcome run(FrameReceiver& rx, const std::vector<std::uint8_t>& bytes) {
    std::size_t used = 0;
    for (const std::uint8_t b : bytes) {
        ++used;
        const Result r = rx.feed(b);
        if (r != Result::NeedMore) {
            return {r, used};
        }
    }
    return {Result::NeedMore, used};
}

TEST(FrameReceiver, ReceivesFramesAndRejectsBrokenOnes) {
    const std::vector<std::uint8_t> data{0x12, 0x34, 0x56};
    const auto good = loaderFrame('R', StationHeader{0x07, 0x21}, data);
    auto badCheck = good;
    badCheck.back() ^= 0x01;
    auto otherStation = loaderFrame('R', StationHeader{0x08, 0x21}, data);
    auto otherSequence = loaderFrame('R', StationHeader{0x07, 0x22}, data);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        Result result;
        std::uint8_t error;
        std::size_t bytesUsed; // how far the receiver read
    };
    const std::vector<Case> cases = {
        {"plain frame", good, Result::Good, 0, good.size()},
        {"noise before the head", concat({0x00, 0x64, 0xFF, 0x13}, good), Result::Good, 0,
         good.size() + 4},
        {"head byte 1 repeated", concat({0x05, 0x05, 0x05}, good), Result::Good, 0,
         good.size() + 3},
        {"head of another command first", concat({0x05, 0x64, 0x57}, good), Result::Good, 0,
         good.size() + 3},
        // The tail of an unread frame that ends in 05 64: the rejected command byte 05 starts
        // the real frame.
        {"rejected command byte is a head", concat({0x05, 0x64}, good), Result::Good, 0,
         good.size() + 2},
        {"check code mismatch", badCheck, Result::Bad, kErrorCheckCode, badCheck.size()},
        {"other station fails at its byte", otherStation, Result::Bad, kErrorStationMismatch, 6},
        {"other sequence fails at its byte", otherSequence, Result::Bad, kErrorSequenceMismatch, 7},
        {"error frame", loaderFrame('E', StationHeader{0x07, 0x21}, {0x0B}), Result::Bad, 11, 11},
        {"error frame without its code", loaderFrame('E', StationHeader{0x07, 0x21}, {}),
         Result::Bad, kErrorFrameDoesNotFit, 10},
        {"length shorter than the header",
         {0x05, 0x64, 'R', 0x00, 0x02},
         Result::Bad,
         kErrorFrameDoesNotFit,
         5},
        {"length beyond the receive limit",
         {0x05, 0x64, 'R', 0x00, 0xFA},
         Result::Bad,
         kErrorFrameDoesNotFit,
         5},
        {"257 bytes of noise", std::vector<std::uint8_t>(300, 0x00), Result::Bad,
         kErrorFrameDoesNotFit, 257},
    };
    for (const auto& c : cases) {
        FrameReceiver rx;
        rx.reset('R', true, 0x07, 0x21);
        const Outcome o = run(rx, c.bytes);
        EXPECT_EQ(o.result, c.result) << c.name;
        EXPECT_EQ(o.bytesUsed, c.bytesUsed) << c.name;
        if (c.result == Result::Bad) {
            EXPECT_EQ(rx.errorCode(), c.error) << c.name;
        } else {
            EXPECT_EQ(std::vector<std::uint8_t>(rx.data().begin(), rx.data().end()), data)
                << c.name;
        }
    }
}

TEST(FrameReceiver, WithoutTheFlagTheResponseHasNoHeader) {
    FrameReceiver rx;
    rx.reset('R', false, 0x07, 0x21);
    const auto f = loaderFrame('R', std::nullopt, {0xAA, 0xBB});
    EXPECT_EQ(run(rx, f).result, Result::Good);
    ASSERT_EQ(rx.data().size(), 2U);
    EXPECT_EQ(rx.data()[1], 0xBB);
}

TEST(FrameReceiver, LargestFrameWithinTheLimitIsAccepted) {
    // 5 + 249 + 2 = 256 bytes: the limit itself is still a frame.
    const std::vector<std::uint8_t> data(249, 0x5A);
    FrameReceiver rx;
    rx.reset('U', false, 0xFF, 0);
    EXPECT_EQ(run(rx, loaderFrame('U', std::nullopt, data)).result, Result::Good);
    EXPECT_EQ(rx.data().size(), 249U);
}

TEST(FrameReceiver, HeadOnlyStopsAfterTheLength) {
    FrameReceiver rx;
    rx.resetForHeadOnly('t');
    const auto echo = loaderFrame('t', StationHeader{0xFF, 1}, {'T', 'E', 'S', 'T'});
    const Outcome o = run(rx, echo);
    EXPECT_EQ(o.result, Result::Good);
    EXPECT_EQ(o.bytesUsed, 5U);
    EXPECT_EQ(rx.lengthField(), 7);

    rx.resetForHeadOnly('t');
    const Outcome e = run(rx, concat({0x99}, loaderFrame('E', std::nullopt, {0x01})));
    EXPECT_EQ(e.result, Result::Good);
    EXPECT_EQ(e.bytesUsed, 4U);
    EXPECT_EQ(rx.command(), 'E');
}

} // namespace
} // namespace dlu
