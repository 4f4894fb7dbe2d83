#pragma once

#include "comm/Crc16Dnp.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace dlu::test {

struct StationHeader {
    std::uint8_t station;
    std::uint8_t sequence;
};

// A loader frame written out by hand: head bytes, command, big-endian length, optional
// station header, data, check code.
inline std::vector<std::uint8_t> loaderFrame(std::uint8_t command,
                                             std::optional<StationHeader> header,
                                             const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> f{0x05, 0x64, command};
    const std::size_t length = data.size() + (header ? 3 : 0);
    f.push_back(static_cast<std::uint8_t>(length >> 8));
    f.push_back(static_cast<std::uint8_t>(length));
    if (header) {
        f.push_back(header->station);
        f.push_back(header->sequence);
        f.push_back(0x00);
    }
    f.insert(f.end(), data.begin(), data.end());
    const std::uint16_t crc = Crc16Dnp::compute(std::span<const std::uint8_t>(f).subspan(2));
    f.push_back(static_cast<std::uint8_t>(crc >> 8));
    f.push_back(static_cast<std::uint8_t>(crc));
    return f;
}

inline std::vector<std::uint8_t> concat(std::vector<std::uint8_t> a,
                                        const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace dlu::test
