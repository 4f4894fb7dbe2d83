#pragma once

#include "devmem/PdmImage.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace dlu {

// Saving and loading ".PDM" device memory files, and the default names of backup files.
class PdmFile {
public:
    enum class SaveResult {
        Saved,       // message 565
        NoPath,      // folder or name empty: message 563
        NotLoaded,   // nothing to save: message 564
        WriteFailed, // the old file, if any, is untouched: message 579
    };

    enum class LoadResult {
        Loaded,    // flag 1 and a full image
        NotLoaded, // readable, but its flag is not 1: the image is left as it was
        NotOpened, // missing or unreadable: ignored silently
        Empty,     // length 0: ignored silently
        TooShort,  // shorter than a full image: refused (message 577), image untouched
        TooLong,   // longer than a full image: refused unless the caller was told and accepts
                   // it (acceptLonger), image untouched
    };

    // Writes `image` with `mask` and `ranges` put into it first. The new file is written
    // beside the old one and renamed over it only when complete, so a failure half-way
    // keeps the user's previous backup whole.
    static SaveResult save(const std::filesystem::path& folder, std::string_view name,
                           PdmImage& image, std::uint16_t mask,
                           std::span<const PdmImage::Range16, DeviceAreas::kCount> ranges);
    static SaveResult save(const std::filesystem::path& file, const PdmImage& image);

    // Fills `image` from a file. Only a full file with flag 1 changes the words; a file with
    // another flag only clears the loaded state (the caller shows it as not loaded).
    // Bytes past the image are no device memory: a file with them is not what a backup
    // writes, so it is taken only with `acceptLonger` (the user has been asked).
    static LoadResult load(const std::filesystem::path& file, PdmImage& image,
                           bool acceptLonger = false);
    // The same from bytes already read (the fuzzer and tests use this).
    static LoadResult parse(std::span<const std::uint8_t> bytes, PdmImage& image,
                            bool acceptLonger = false);

    // Message id (Korean) that reports a result; 0 for the silent ones.
    static int messageFor(SaveResult result);
    static int messageFor(LoadResult result);

    // "Device Data 20261206_084502.PDM" for prefix "Device Data ", extension ".PDM".
    static std::string defaultName(std::string_view prefix, std::string_view extension,
                                   const std::tm& localTime);
};

} // namespace dlu
