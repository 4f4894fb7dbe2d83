#include "cli/PdmCommands.h"

#include "cli/CliSession.h"
#include "common/FileTarget.h"
#include "common/TerminalText.h"
#include "devmem/PdmCsv.h"
#include "devmem/PdmDiff.h"
#include "devmem/PdmFile.h"
#include "plc/CpuTypeTable.h"
#include "plc/DeviceArea.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <ostream>

namespace dlu {

namespace {

// Names in the text come from the user's folders and files: shown escaped like any outside
// text.
void fail(std::ostream& err, const std::string& text) {
    err << "dlutil: " << displaySafe(text) << "\n";
}

std::string shown(const std::string& path) { return displaySafe(path); }

bool load(const std::string& file, PdmImage& image, std::ostream& err) {
    switch (PdmFile::load(file, image)) {
    case PdmFile::LoadResult::Loaded:
        return true;
    case PdmFile::LoadResult::NotOpened: {
        const auto reason = unreadableReason(file);
        fail(err, "cannot read " + shown(file) + (reason.empty() ? "" : ": " + reason));
        return false;
    }
    case PdmFile::LoadResult::Empty:
        fail(err, shown(file) + " is empty");
        return false;
    case PdmFile::LoadResult::TooShort:
        fail(err, shown(file) + " is shorter than a device memory file (" +
                      std::to_string(PdmImage::kFileSize) + " bytes): damaged or incomplete");
        return false;
    case PdmFile::LoadResult::NotLoaded:
        fail(err, shown(file) + " holds no device memory (its first byte is not 1)");
        return false;
    case PdmFile::LoadResult::TooLong:
        fail(err, shown(file) + " is longer than a device memory file (" +
                      std::to_string(PdmImage::kFileSize) + " bytes): not a device memory file");
        return false;
    }
    return false;
}

// -1 for no area given, the index for a known letter, nothing (after saying why) otherwise.
std::optional<int> areaOption(const std::string& text, std::ostream& err) {
    if (text.empty()) {
        return -1;
    }
    std::string letter = text;
    std::transform(letter.begin(), letter.end(), letter.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    const DeviceArea* area = DeviceAreas::byLetter(letter);
    if (area == nullptr) {
        fail(err, "unknown area '" + text + "'");
        return std::nullopt;
    }
    return static_cast<int>(area->index);
}

} // namespace

int runPdmDiff(const PdmDiffOptions& options, std::ostream& out, std::ostream& err) {
    const auto area = areaOption(options.area, err);
    if (!area) {
        return kExitUsage;
    }
    PdmImage a;
    PdmImage b;
    if (!load(options.first, a, err) || !load(options.second, b, err)) {
        return kExitUsage;
    }
    const auto diffs = PdmDiff::compare(a, b, *area);
    if (options.json) {
        out << "[";
        for (std::size_t i = 0; i < diffs.size(); ++i) {
            out << (i == 0 ? "\n  " : ",\n  ") << PdmDiff::json(diffs[i]);
        }
        out << (diffs.empty() ? "]\n" : "\n]\n");
    } else {
        for (const auto& d : diffs) {
            out << PdmDiff::line(d) << "\n";
        }
    }
    return diffs.empty() ? kExitSuccess : kExitPlcFailed;
}

int runPdmExport(const PdmExportOptions& options, std::ostream& out, std::ostream& err) {
    if (!options.csv) {
        fail(err, "name the format: --csv");
        return kExitUsage;
    }
    const auto area = areaOption(options.area, err);
    if (!area) {
        return kExitUsage;
    }
    PdmImage image;
    if (!load(options.file, image, err)) {
        return kExitUsage;
    }
    if (*area < 0 && image.mask() == 0) {
        fail(err, shown(options.file) + " selects no area (name one with --area)");
        return kExitUsage;
    }
    out << PdmCsv::write(image, *area);
    return kExitSuccess;
}

int runPdmImport(const PdmImportOptions& options, std::ostream& out, std::ostream& err) {
    const CpuType cpu = CpuTypeTable::parse(options.cpu);
    if (cpu == kNoCpuType) {
        fail(err, "unknown CPU type: " + options.cpu);
        return kExitUsage;
    }
    // A name without an extension gets ".PDM" first, as the save dialogs give it, so that the
    // checks below are made on the file that is written.
    const std::string output = withDefaultExtension(options.output, ".PDM");
    if (const auto reason = unwritableReason(output); !reason.empty()) {
        fail(err, "cannot write " + shown(output) + ": " + reason);
        return kExitUsage;
    }
    const auto imported = PdmCsv::readFile(options.file, cpu);
    if (!imported.ok) {
        fail(err, shown(options.file) +
                      (imported.line > 0 ? ":" + std::to_string(imported.line) : std::string()) +
                      ": " + imported.error + "; nothing was written");
        return kExitUsage;
    }
    if (PdmFile::save(output, imported.image) != PdmFile::SaveResult::Saved) {
        const auto reason = unwritableReason(output);
        fail(err, "cannot write " + shown(output) + (reason.empty() ? "" : ": " + reason));
        return kExitUsage;
    }
    out << imported.rows << " words written to " << shown(output) << "\n";
    return kExitSuccess;
}

} // namespace dlu
