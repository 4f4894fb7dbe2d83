#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace dlu {

// The device image of the Linux CPU family: opaque bytes that the PLC hands out in numbered
// blocks (UploadBlock) and takes back in blocks of 238 bytes.
class LinuxImage {
public:
    static constexpr std::size_t kRestoreBlock = 238;

    struct RestorePlan {
        std::uint16_t blocks = 0;
        std::size_t lastSize = 0; // bytes in the last block
    };
    // Blocks for an image of `size` bytes; nothing for an empty image (it cannot be sent) or
    // one needing more blocks than a 16-bit block count holds.
    static std::optional<RestorePlan> restorePlan(std::size_t size);
};

} // namespace dlu
