// The program's frame receiver against arbitrary bytes from a PLC or a line. The first bytes
// choose what the receiver expects; the rest is the byte stream.

#include "comm/FrameReceiver.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    const std::uint8_t command = data[0];
    const bool header = (data[1] & 1U) != 0;
    const bool headOnly = (data[1] & 2U) != 0;
    const std::uint8_t station = data[2];
    const std::uint8_t sequence = data[3];

    dlu::FrameReceiver rx;
    auto restart = [&] {
        if (headOnly) {
            rx.resetForHeadOnly(command);
        } else {
            rx.reset(command, header, station, sequence);
        }
    };
    restart();
    for (std::size_t i = 4; i < size; ++i) {
        const auto result = rx.feed(data[i]);
        if (rx.bytesRead() > dlu::frame::kMaxReceiveBytes + 1 ||
            rx.data().size() > dlu::frame::kResponseDataSize) {
            std::abort(); // the receive limit must hold whatever arrives
        }
        if (result == dlu::FrameReceiver::Result::Good && !headOnly) {
            const std::size_t expected =
                rx.lengthField() - (header ? dlu::frame::kStationHeaderSize : 0U);
            if (rx.data().size() != expected || rx.command() != command) {
                std::abort();
            }
        }
        if (result != dlu::FrameReceiver::Result::NeedMore) {
            restart();
        }
    }
    return 0;
}
