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

} // namespace dlu
