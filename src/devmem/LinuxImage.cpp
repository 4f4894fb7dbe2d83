#include "devmem/LinuxImage.h"

namespace dlu {

std::optional<LinuxImage::RestorePlan> LinuxImage::restorePlan(std::size_t size) {
    if (size == 0) {
        return std::nullopt;
    }
    const std::size_t blocks = size / kRestoreBlock + (size % kRestoreBlock != 0 ? 1 : 0);
    if (blocks > 0xFFFF) {
        return std::nullopt;
    }
    const std::size_t rest = size % kRestoreBlock;
    return RestorePlan{static_cast<std::uint16_t>(blocks), rest == 0 ? kRestoreBlock : rest};
}

std::optional<LinuxImage::UploadBlock>
LinuxImage::parseUpload(std::span<const std::uint8_t> response) {
    if (response.size() < kHeaderSize) {
        return std::nullopt;
    }
    const auto be16 = [&](std::size_t at) {
        return static_cast<std::uint16_t>((response[at] << 8) | response[at + 1]);
    };
    const std::size_t length = be16(6);
    if (kHeaderSize + length > response.size()) {
        return std::nullopt;
    }
    return UploadBlock{be16(2), be16(4), response.subspan(kHeaderSize, length)};
}

} // namespace dlu
