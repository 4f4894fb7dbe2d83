#pragma once

#include "comm/LoaderFrame.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace dlu::sim {

// A request as the simulator's command handlers see it.
struct SimRequest {
    std::uint8_t command = 0;
    bool stationHeader = false;
    std::uint8_t station = 0;
    std::uint8_t sequence = 0;
    std::span<const std::uint8_t> data; // after the station header
};

// The answer a handler builds: data of a normal response, or an error code for 'E'. Bytes past
// the largest response the program takes are dropped.
class SimReply {
public:
    void put8(std::uint8_t b) {
        if (size_ < data_.size()) {
            data_[size_++] = b;
        }
    }
    void put16(std::uint16_t v) {
        put8(static_cast<std::uint8_t>(v >> 8));
        put8(static_cast<std::uint8_t>(v));
    }
    void fail(std::uint8_t code) { error_ = code; }
    std::optional<std::uint8_t> error() const { return error_; }
    std::span<const std::uint8_t> data() const { return {data_.data(), size_}; }
    std::size_t size() const { return size_; }
    void clear() {
        size_ = 0;
        error_.reset();
    }

private:
    std::array<std::uint8_t, frame::kResponseDataSize> data_{};
    std::size_t size_ = 0;
    std::optional<std::uint8_t> error_;
};

// PLC error codes the simulator answers with.
namespace plc_error {
inline constexpr std::uint8_t kUnknownCommand = 1;
inline constexpr std::uint8_t kCheckCode = 2;
inline constexpr std::uint8_t kCpuMode = 3;
inline constexpr std::uint8_t kSizeOverflow = 4;
inline constexpr std::uint8_t kInvalidValue = 9;
inline constexpr std::uint8_t kDataSize = 10;
inline constexpr std::uint8_t kNotSupported = 20;
} // namespace plc_error

// Big-endian fields of request data.
inline std::uint16_t be16(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>((d[at] << 8) | d[at + 1]);
}

inline std::uint32_t be32(std::span<const std::uint8_t> d, std::size_t at) {
    return (std::uint32_t{be16(d, at)} << 16) | be16(d, at + 2);
}

} // namespace dlu::sim
