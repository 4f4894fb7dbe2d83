#include "sim/SimMemory.h"

#include "devmem/PdmImage.h"
#include "plc/DeviceAddress.h"
#include "plc/DeviceArea.h"

#include <algorithm>

namespace dlu::sim {

std::uint8_t SimMemory::byteAt(std::uint32_t address) const {
    const auto it = bytes_.find(address);
    return it == bytes_.end() ? 0 : it->second;
}

std::uint16_t SimMemory::wordAt(std::uint32_t address) const {
    return static_cast<std::uint16_t>((byteAt(address) << 8) | byteAt(address + 1));
}

void SimMemory::setWord(std::uint32_t address, std::uint16_t value) {
    setByte(address, static_cast<std::uint8_t>(value >> 8));
    setByte(address + 1, static_cast<std::uint8_t>(value));
}

std::uint32_t SimMemory::address(std::string_view deviceName) const {
    return DeviceAddress::fromName(deviceName, cpuType_, true);
}

std::uint32_t SimMemory::deviceWordAddress(int area, std::uint32_t word) const {
    return DeviceAddress::fromName(DeviceAreas::transferAddress(area, word), cpuType_, true);
}

void SimMemory::fillDeviceAreas(std::uint32_t seed) {
    SimPattern pattern(seed);
    for (const auto& area : DeviceAreas::all()) {
        const int index = static_cast<int>(area.index);
        const std::uint32_t words = CpuTypeTable::capacity(cpuType_, area.deviceId);
        for (std::uint32_t w = 0; w < words; ++w) {
            const std::uint16_t value = static_cast<std::uint16_t>(pattern.next() >> 16);
            if (const auto a = deviceWordAddress(index, w); a != 0) {
                setWord(a, value);
            }
        }
    }
}

void SimMemory::loadDeviceAreas(const PdmImage& image) {
    for (const auto& area : DeviceAreas::all()) {
        const int index = static_cast<int>(area.index);
        const std::uint32_t words = std::min<std::uint32_t>(
            CpuTypeTable::capacity(cpuType_, area.deviceId), PdmImage::wordCount(index));
        for (std::uint32_t w = 0; w < words; ++w) {
            if (const auto a = deviceWordAddress(index, w); a != 0) {
                setWord(a, image.word(index, w));
            }
        }
    }
}

PdmImage SimMemory::deviceAreas() const {
    PdmImage image;
    image.setFlag(1);
    for (const auto& area : DeviceAreas::all()) {
        const int index = static_cast<int>(area.index);
        const std::uint32_t words = std::min<std::uint32_t>(
            CpuTypeTable::capacity(cpuType_, area.deviceId), PdmImage::wordCount(index));
        for (std::uint32_t w = 0; w < words; ++w) {
            if (const auto a = deviceWordAddress(index, w); a != 0) {
                image.setWord(index, w, wordAt(a));
            }
        }
    }
    return image;
}

} // namespace dlu::sim
