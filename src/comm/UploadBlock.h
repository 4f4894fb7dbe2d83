#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace dlu {

// One block of the Linux device image as an answer to a 'U' request carries it: 2 bytes not
// used, the block count (offset 2), the block number (4), the data length (6), each 16-bit
// with the high byte first, and the data from offset 8.
struct UploadBlock {
    static constexpr std::size_t kHeaderSize = 8;

    std::uint16_t total = 0;
    std::uint16_t number = 0;
    std::span<const std::uint8_t> data; // inside the answer

    // Nothing when the answer is shorter than its header or than the data it announces; bytes
    // after the data are not part of the block.
    static std::optional<UploadBlock> parse(std::span<const std::uint8_t> answer);
};

} // namespace dlu
