#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace dlu {

// The device image of the Linux CPU family: opaque bytes that the PLC hands out in numbered
// blocks and takes back in blocks of 238 bytes.
class LinuxImage {
public:
    static constexpr std::size_t kRestoreBlock = 238;
    static constexpr std::size_t kHeaderSize = 8;

    struct RestorePlan {
        std::uint16_t blocks = 0;
        std::size_t lastSize = 0; // bytes in the last block
    };
    // Blocks for an image of `size` bytes; nothing for an empty image (it cannot be sent) or
    // one needing more blocks than a 16-bit block count holds.
    static std::optional<RestorePlan> restorePlan(std::size_t size);

    struct UploadBlock {
        std::uint16_t total = 0;
        std::uint16_t number = 0;
        std::span<const std::uint8_t> data; // inside the response
    };
    // One upload response: total (offset 2), block number (4), data length (6) and data (8),
    // big-endian. Nothing when the response is shorter than its header or than its data.
    static std::optional<UploadBlock> parseUpload(std::span<const std::uint8_t> response);
};

} // namespace dlu
