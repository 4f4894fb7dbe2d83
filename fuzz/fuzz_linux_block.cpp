// Linux device image: one upload response as the PLC sends it, and the restore plan for a
// file of the length the input gives.
#include "comm/UploadBlock.h"
#include "devmem/LinuxImage.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {
void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> response(data, size);
    if (const auto block = dlu::UploadBlock::parse(response)) {
        // The data part lies inside the response, right after the header, as long as it says.
        check(size >= dlu::UploadBlock::kHeaderSize);
        check(block->data.data() == data + dlu::UploadBlock::kHeaderSize);
        check(block->data.size() == static_cast<std::size_t>((data[6] << 8) | data[7]));
        check(block->total == static_cast<std::uint16_t>((data[2] << 8) | data[3]));
        check(block->number == static_cast<std::uint16_t>((data[4] << 8) | data[5]));
    } else {
        check(size < dlu::UploadBlock::kHeaderSize ||
              dlu::UploadBlock::kHeaderSize + static_cast<std::size_t>((data[6] << 8) | data[7]) >
                  size);
    }

    // The first four bytes as a file length (up to 4 GiB).
    std::size_t length = 0;
    for (std::size_t i = 0; i < 4 && i < size; ++i) {
        length = (length << 8) | data[i];
    }
    const auto plan = dlu::LinuxImage::restorePlan(length);
    if (!plan) {
        check(length == 0 || length > 0xFFFFull * dlu::LinuxImage::kRestoreBlock);
        return 0;
    }
    const std::size_t block = dlu::LinuxImage::kRestoreBlock;
    check(plan->blocks >= 1 && plan->lastSize >= 1 && plan->lastSize <= block);
    check((plan->blocks - 1u) * block + plan->lastSize == length);
    return 0;
}
