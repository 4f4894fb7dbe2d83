#pragma once

#include <cstdint>
#include <span>

namespace dlu {

// Check code of a loader frame: CRC-16/DNP (polynomial 0x3D65 worked bit-reflected, start 0,
// result inverted). Check value over "123456789" is 0xEA82. The frame covers the command code
// up to the last data byte; the two head bytes stay outside.
class Crc16Dnp {
public:
    // Running form, for a receiver that sees one byte at a time: start with kInit, feed every
    // byte through update() and take final() at the end.
    static constexpr std::uint16_t kInit = 0x0000;
    static std::uint16_t update(std::uint16_t crc, std::uint8_t byte);
    static std::uint16_t final(std::uint16_t crc) { return static_cast<std::uint16_t>(~crc); }

    // The whole check code of a block.
    static std::uint16_t compute(std::span<const std::uint8_t> bytes);
};

} // namespace dlu
