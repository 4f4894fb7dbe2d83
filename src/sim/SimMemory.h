#pragma once

#include "plc/CpuTypeTable.h"

#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace dlu {
class PdmImage;
}

namespace dlu::sim {

// A small deterministic generator for the simulator's memory patterns: the same seed gives the
// same bytes on every platform, which std::mt19937's distributions do not promise.
class SimPattern {
public:
    explicit SimPattern(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    std::uint32_t state_;
};

// The PLC's memory: sparse bytes by the same 32-bit addresses that travel in frames, laid out
// as the PLC's CPU type places its devices. Unwritten bytes read 0.
class SimMemory {
public:
    explicit SimMemory(CpuType cpuType) : cpuType_(cpuType) {}

    std::uint8_t byteAt(std::uint32_t address) const;
    void setByte(std::uint32_t address, std::uint8_t value) { bytes_[address] = value; }
    std::uint16_t wordAt(std::uint32_t address) const; // high byte at `address`
    void setWord(std::uint32_t address, std::uint16_t value);

    // Address of a device name ("F0080") for the CPU type; 0 when it has none.
    std::uint32_t address(std::string_view deviceName) const;
    // Address of word `word` of device area `area` (0 to 15); 0 where the CPU type has none.
    std::uint32_t deviceWordAddress(int area, std::uint32_t word) const;

    // Every word of every device area the CPU type has, from a pattern made from `seed`.
    void fillDeviceAreas(std::uint32_t seed);
    // The words of a device memory file (as far as the CPU type has them).
    void loadDeviceAreas(const PdmImage& image);
    // The device areas as a device memory file holds them: flag 1, words as the PLC has them,
    // mask and ranges 0.
    PdmImage deviceAreas() const;

private:
    CpuType cpuType_;
    std::unordered_map<std::uint32_t, std::uint8_t> bytes_;
};

} // namespace dlu::sim
