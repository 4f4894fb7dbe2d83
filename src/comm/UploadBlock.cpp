#include "comm/UploadBlock.h"

namespace dlu {

std::optional<UploadBlock> UploadBlock::parse(std::span<const std::uint8_t> answer) {
    if (answer.size() < kHeaderSize) {
        return std::nullopt;
    }
    const auto be16 = [&](std::size_t at) {
        return static_cast<std::uint16_t>((answer[at] << 8) | answer[at + 1]);
    };
    const std::size_t length = be16(6);
    if (kHeaderSize + length > answer.size()) {
        return std::nullopt;
    }
    return UploadBlock{be16(2), be16(4), answer.subspan(kHeaderSize, length)};
}

} // namespace dlu
