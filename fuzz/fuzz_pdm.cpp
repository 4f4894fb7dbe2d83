// Device memory files (".PDM"): the loader on the bytes as they come, and on a full-size file
// whose header (flag, mask, ranges) and first words come from the input; then the selection
// of a restore takes the loaded ranges and validates them.
#include "devmem/DeviceMemorySelection.h"
#include "devmem/PdmFile.h"
#include "devmem/PdmImage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void load(std::span<const std::uint8_t> bytes) {
    dlu::PdmImage image;
    image.setFlag(1);
    image.setWord(9, 7, 0x1234);
    const dlu::PdmImage before = image;
    const auto result = dlu::PdmFile::parse(bytes, image);
    using R = dlu::PdmFile::LoadResult;
    switch (result) {
    case R::Loaded: {
        check(bytes.size() >= dlu::PdmImage::kFileSize && bytes[0] == 1);
        // What was loaded saves back to the same bytes.
        const auto again = image.fileBytes();
        check(std::equal(again.begin(), again.end(), bytes.begin()));
        break;
    }
    case R::NotLoaded:
        check(bytes.size() >= dlu::PdmImage::kFileSize && bytes[0] != 1);
        check(image.flag() == bytes[0] && !image.loaded());
        check(std::equal(image.block().begin(), image.block().end(), before.block().begin()));
        return;
    case R::Empty:
    case R::TooShort:
    case R::TooLong:
    case R::NotOpened:
        check(image == before);
        return;
    }
    const dlu::Messages messages(dlu::Language::English);
    for (const dlu::CpuType type : {dlu::CpuType{0}, dlu::CpuType{10}, dlu::CpuType{26}}) {
        dlu::DeviceMemorySelection selection(dlu::DeviceMemoryMode::Restore, type, messages);
        selection.takeFrom(image);
        const auto rangeCheck = selection.validate();
        check(rangeCheck.ok == (rangeCheck.failingArea < 0));
        // A restore never checks an area it may not write.
        check((selection.checkedBits() & 0x0FE0u & ~0x0200u) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    load(input);
    std::vector<std::uint8_t> full(dlu::PdmImage::kFileSize, 0);
    std::copy_n(input.begin(), std::min(input.size(), full.size()), full.begin());
    load(full);
    return 0;
}
