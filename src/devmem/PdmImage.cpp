#include "devmem/PdmImage.h"

#include <algorithm>
#include <cassert>

namespace dlu {

namespace {

constexpr std::size_t kMaskOffset = 0;
constexpr std::size_t kRangesOffset = 2;

// clang-format off
constexpr std::array<PdmImage::AreaLayout, DeviceAreas::kCount> kLayout{{
    {66, 1024},     // X
    {2114, 1024},   // Y
    {4162, 4096},   // M
    {12354, 4096},  // L
    {20546, 4096},  // K
    {28738, 256},   // F
    {29250, 4096},  // T
    {37442, 4096},  // C
    {45634, 100},   // S
    {45834, 32767}, // D
    {111368, 1064}, // Z
    {113496, 16},   // R
    {113528, 4096}, // TC
    {121720, 4096}, // TS
    {129912, 4096}, // CC
    {138104, 4096}, // CS: 4056 of them reach a file
}};
// clang-format on

static_assert(kLayout.back().offset + 2 * kLayout.back().words == PdmImage::kBlockSize);

bool validArea(int area) { return area >= 0 && area < DeviceAreas::kCount; }

} // namespace

const std::array<PdmImage::AreaLayout, DeviceAreas::kCount>& PdmImage::layout() { return kLayout; }

std::uint32_t PdmImage::fileWords(int area) {
    const auto& at = kLayout[static_cast<std::size_t>(area)];
    const std::size_t room = (kFileBlockSize - at.offset) / 2;
    return static_cast<std::uint32_t>(std::min<std::size_t>(at.words, room));
}

PdmImage::PdmImage() : block_(kBlockSize, 0) {}

std::uint16_t PdmImage::get16(std::size_t offset) const {
    return static_cast<std::uint16_t>(block_[offset] | (block_[offset + 1] << 8));
}

void PdmImage::put16(std::size_t offset, std::uint16_t value) {
    block_[offset] = static_cast<std::uint8_t>(value & 0xFF);
    block_[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t PdmImage::mask() const { return get16(kMaskOffset); }

void PdmImage::setMask(std::uint16_t mask) { put16(kMaskOffset, mask); }

PdmImage::Range16 PdmImage::range(int area) const {
    assert(validArea(area) && "device area index out of range");
    const std::size_t at = kRangesOffset + 4 * static_cast<std::size_t>(area);
    return {get16(at), get16(at + 2)};
}

void PdmImage::setRange(int area, Range16 range) {
    assert(validArea(area) && "device area index out of range");
    const std::size_t at = kRangesOffset + 4 * static_cast<std::size_t>(area);
    put16(at, range.start);
    put16(at + 2, range.end);
}

std::uint16_t PdmImage::word(int area, std::uint32_t w) const {
    if (!validArea(area) || w >= wordCount(area)) {
        return 0;
    }
    return get16(kLayout[static_cast<std::size_t>(area)].offset + 2 * std::size_t{w});
}

bool PdmImage::setWord(int area, std::uint32_t w, std::uint16_t value) {
    if (!validArea(area) || w >= wordCount(area)) {
        return false;
    }
    put16(kLayout[static_cast<std::size_t>(area)].offset + 2 * std::size_t{w}, value);
    return true;
}

void PdmImage::clear() {
    flag_ = 0;
    clearBlock();
}

void PdmImage::clearBlock() { std::fill(block_.begin(), block_.end(), std::uint8_t{0}); }

void PdmImage::clearArea(int area) {
    assert(validArea(area) && "device area index out of range");
    const auto& l = kLayout[static_cast<std::size_t>(area)];
    const auto first = block_.begin() + static_cast<std::ptrdiff_t>(l.offset);
    std::fill(first, first + 2 * static_cast<std::ptrdiff_t>(l.words), std::uint8_t{0});
}

std::vector<std::uint8_t> PdmImage::fileBytes() const {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kFileSize);
    bytes.push_back(flag_);
    bytes.insert(bytes.end(), block_.begin(),
                 block_.begin() + static_cast<std::ptrdiff_t>(kFileBlockSize));
    return bytes;
}

void PdmImage::assignFileBlock(std::span<const std::uint8_t> bytes) {
    const std::size_t n = std::min(bytes.size(), kFileBlockSize);
    std::copy_n(bytes.begin(), n, block_.begin());
    std::fill(block_.begin() + static_cast<std::ptrdiff_t>(n), block_.end(), std::uint8_t{0});
}

} // namespace dlu
