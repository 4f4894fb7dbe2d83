#pragma once

#include "plc/DeviceArea.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace dlu {

// A device memory image as the device memory dialog holds it: a loaded flag and a fixed block
// with the selection mask, sixteen 16-bit ranges and one word array per area. Word w of an
// area lies at the area's offset + 2w whatever the range's start. Little-endian throughout.
//
// The ".PDM" file is the flag followed by the first 146216 bytes of the block: the block holds
// CS words up to 4095, the file only up to 4055.
class PdmImage {
public:
    static constexpr std::size_t kBlockSize = 146296;
    static constexpr std::size_t kFileBlockSize = 146216;
    static constexpr std::size_t kFileSize = 1 + kFileBlockSize; // 146217

    struct AreaLayout {
        std::size_t offset; // in the block (the file offset is one more)
        std::uint32_t words;
    };
    // Where each area's words lie, in area order.
    static const std::array<AreaLayout, DeviceAreas::kCount>& layout();

    PdmImage();

    std::uint8_t flag() const { return flag_; }
    bool loaded() const { return flag_ == 1; }
    void setFlag(std::uint8_t flag) { flag_ = flag; }

    std::uint16_t mask() const;
    void setMask(std::uint16_t mask);

    struct Range16 {
        std::uint16_t start = 0;
        std::uint16_t end = 0;
        bool operator==(const Range16&) const = default;
    };
    Range16 range(int area) const;
    void setRange(int area, Range16 range);

    // Words the block holds for an area.
    static std::uint32_t wordCount(int area) {
        return layout()[static_cast<std::size_t>(area)].words;
    }
    // Words of an area that a ".PDM" file carries: all the block holds except CS words above
    // 4055.
    static std::uint32_t fileWords(int area);
    // 0 for a word the block does not hold.
    std::uint16_t word(int area, std::uint32_t w) const;
    // False (and nothing stored) for a word the block does not hold.
    bool setWord(int area, std::uint32_t w, std::uint16_t value);

    // Flag and block to zero.
    void clear();
    // Block to zero; the flag stays.
    void clearBlock();
    // Every word of one area to zero.
    void clearArea(int area);

    std::span<const std::uint8_t> block() const { return block_; }

    // The bytes of a ".PDM" file.
    std::vector<std::uint8_t> fileBytes() const;
    // Takes the block part of a ".PDM" file (the bytes after the flag, at most 146216 of them);
    // the rest of the block becomes zero.
    void assignFileBlock(std::span<const std::uint8_t> bytes);

    bool operator==(const PdmImage&) const = default;

private:
    std::uint16_t get16(std::size_t offset) const;
    void put16(std::size_t offset, std::uint16_t value);

    std::uint8_t flag_ = 0;
    std::vector<std::uint8_t> block_; // kBlockSize bytes
};

} // namespace dlu
