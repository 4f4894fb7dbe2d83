// The simulator's side of the protocol against arbitrary request bytes: whatever a program
// sends, every answer must be a well-formed frame.

#include "comm/Crc16Dnp.h"
#include "comm/LoaderFrame.h"
#include "sim/PlcSimulator.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Walks the answers: head, length and check code of each must be right.
void checkAnswers(const std::vector<std::uint8_t>& out) {
    std::size_t at = 0;
    while (at < out.size()) {
        if (out.size() - at < 7 || out[at] != 0x05 || out[at + 1] != 0x64) {
            std::abort();
        }
        const std::size_t length = (std::size_t{out[at + 3]} << 8) | out[at + 4];
        const std::size_t end = at + 5 + length;
        if (end + 2 > out.size() || end + 2 - at > dlu::frame::kMaxReceiveBytes) {
            std::abort();
        }
        const std::uint16_t check = static_cast<std::uint16_t>((out[end] << 8) | out[end + 1]);
        if (dlu::Crc16Dnp::compute(std::span(out).subspan(at + 2, end - at - 2)) != check) {
            std::abort();
        }
        at = end + 2;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    dlu::sim::PlcConfig config;
    config.takesStationHeader = (data[0] & 1U) != 0;
    config.state = (data[0] & 2U) != 0 ? dlu::sim::RunState::Run : dlu::sim::RunState::Stop;
    dlu::sim::PlcSimulator plc(config);
    std::vector<std::uint8_t> out;
    // A valid 't' first, when asked for, so that the header paths are reached too.
    if ((data[0] & 4U) != 0) {
        const std::uint8_t test[] = {0x05, 0x64, 0x74, 0x00, 0x07, 0xFF,
                                     0x01, 0x00, 'T',  'E',  'S',  'T'};
        std::vector<std::uint8_t> frame(test, test + sizeof test);
        const std::uint16_t crc = dlu::Crc16Dnp::compute(std::span(frame).subspan(2));
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
        frame.push_back(static_cast<std::uint8_t>(crc));
        plc.receive(frame, out);
    }
    plc.receive(std::span(data + 1, size - 1), out);
    checkAnswers(out);
    return 0;
}
