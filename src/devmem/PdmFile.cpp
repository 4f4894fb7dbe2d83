#include "devmem/PdmFile.h"

#include "common/FileTarget.h"

#include "common/MessageIds.h"
#include "common/TextFormat.h"
#include "devmem/AtomicFile.h"

#include <fstream>
#include <iterator>
#include <vector>

namespace dlu {

PdmFile::SaveResult PdmFile::save(const std::filesystem::path& folder, std::string_view name,
                                  PdmImage& image, std::uint16_t mask,
                                  std::span<const PdmImage::Range16, DeviceAreas::kCount> ranges) {
    if (folder.empty() || name.empty()) {
        return SaveResult::NoPath;
    }
    if (!image.loaded()) {
        return SaveResult::NotLoaded;
    }
    image.setMask(mask);
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        image.setRange(i, ranges[static_cast<std::size_t>(i)]);
    }
    return save(folder / std::filesystem::path(std::string(name)), image);
}

PdmFile::SaveResult PdmFile::save(const std::filesystem::path& file, const PdmImage& image) {
    if (file.empty() || !file.has_filename()) {
        return SaveResult::NoPath;
    }
    if (!image.loaded()) {
        return SaveResult::NotLoaded;
    }
    return replaceFileAtomically(file, image.fileBytes()) ? SaveResult::Saved
                                                          : SaveResult::WriteFailed;
}

PdmFile::LoadResult PdmFile::parse(std::span<const std::uint8_t> bytes, PdmImage& image,
                                   bool acceptLonger) {
    if (bytes.empty()) {
        return LoadResult::Empty;
    }
    if (bytes.size() < PdmImage::kFileSize) {
        return LoadResult::TooShort;
    }
    if (bytes.size() > PdmImage::kFileSize && !acceptLonger) {
        return LoadResult::TooLong;
    }
    if (bytes[0] != 1) {
        image.setFlag(bytes[0]);
        return LoadResult::NotLoaded;
    }
    PdmImage loaded;
    loaded.setFlag(1);
    loaded.assignFileBlock(bytes.subspan(1, PdmImage::kFileBlockSize));
    image = std::move(loaded);
    return LoadResult::Loaded;
}

PdmFile::LoadResult PdmFile::load(const std::filesystem::path& file, PdmImage& image,
                                  bool acceptLonger) {
    // One byte more than a file holds tells a longer file; no more is read. A named pipe or a
    // device is refused, never waited on.
    std::string why;
    const auto bytes = readRegularFile(file.string(), PdmImage::kFileSize, why);
    if (!bytes) {
        return LoadResult::NotOpened;
    }
    return parse(*bytes, image, acceptLonger);
}

int PdmFile::messageFor(SaveResult result) {
    switch (result) {
    case SaveResult::Saved:
        return Msg::Saved;
    case SaveResult::NoPath:
        return Msg::NoSavePath;
    case SaveResult::NotLoaded:
        return Msg::NothingToSave;
    case SaveResult::WriteFailed:
        return Msg::SaveFailed;
    }
    return 0;
}

int PdmFile::messageFor(LoadResult result) {
    switch (result) {
    case LoadResult::Loaded:
    case LoadResult::NotLoaded:
        return Msg::FileLoaded;
    case LoadResult::TooShort:
    case LoadResult::TooLong:
        return Msg::FileDamaged;
    case LoadResult::NotOpened:
    case LoadResult::Empty:
        return 0;
    }
    return 0;
}

std::string PdmFile::defaultName(std::string_view prefix, std::string_view extension,
                                 const std::tm& t) {
    return std::string(prefix) +
           formatText("%04d%02d%02d_%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                      t.tm_hour, t.tm_min, t.tm_sec) +
           std::string(extension);
}

} // namespace dlu
