#include "comm/Crc16Dnp.h"

#include <array>

namespace dlu {

namespace {

// 0xA6BC is 0x3D65 with its bits reversed: the reflected algorithm shifts right.
constexpr std::uint16_t kReflectedPolynomial = 0xA6BC;

constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? (crc >> 1) ^ kReflectedPolynomial : crc >> 1;
        }
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kTable = makeTable();

} // namespace

std::uint16_t Crc16Dnp::update(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>((crc >> 8) ^ kTable[(crc ^ byte) & 0xFFU]);
}

std::uint16_t Crc16Dnp::compute(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = kInit;
    for (const std::uint8_t b : bytes) {
        crc = update(crc, b);
    }
    return final(crc);
}

} // namespace dlu
