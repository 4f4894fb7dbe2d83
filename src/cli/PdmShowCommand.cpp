#include "cli/PdmShowCommand.h"

#include "cli/BackupCommands.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"
#include "devmem/PdmImage.h"
#include "plc/DeviceArea.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ostream>
#include <vector>

namespace dlu {

namespace {

struct Window {
    int area = 0;
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
};

} // namespace

int runPdmShow(const PdmShowOptions& options, std::ostream& out) {
    PdmImage image;
    if (!loadPdmForCommand(options.file, image)) {
        return kExitUsage;
    }

    std::vector<int> areas;
    if (!options.area.empty()) {
        std::string letter = options.area;
        std::transform(letter.begin(), letter.end(), letter.begin(), [](char c) {
            return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        });
        const DeviceArea* area = DeviceAreas::byLetter(letter);
        if (area == nullptr) {
            std::fprintf(stderr, "dlutil: unknown area '%s'\n", displaySafe(options.area).c_str());
            return kExitUsage;
        }
        areas.push_back(static_cast<int>(area->index));
    } else {
        for (int i = 0; i < DeviceAreas::kCount; ++i) {
            if ((image.mask() & (1u << i)) != 0) {
                areas.push_back(i);
            }
        }
        if (areas.empty()) {
            std::fprintf(stderr, "dlutil: %s selects no area (name one with --area)\n",
                         displaySafe(options.file).c_str());
        }
    }

    // Each area's window: the range the file selects (all its words for an area it does not
    // select), moved and cut by --from and --count, never past the words a file holds.
    std::vector<Window> windows;
    for (const int area : areas) {
        const std::uint32_t held = PdmImage::fileWords(area);
        const bool selected = (image.mask() & (1u << area)) != 0;
        const auto range = image.range(area);
        Window w{area, selected ? range.start : 0u, selected ? range.end : held};
        if (options.from) {
            w.begin = *options.from;
        }
        if (w.begin >= held) {
            std::fprintf(stderr, "dlutil: %s holds %s words 0-%u only\n",
                         displaySafe(options.file).c_str(),
                         std::string(DeviceAreas::at(area).letter).c_str(), held - 1);
            return kExitUsage;
        }
        if (options.count) {
            w.end = w.begin + std::min<std::uint32_t>(*options.count, held);
        } else if (options.from && w.end <= w.begin) {
            w.end = held; // past the selected range: the rest of the area
        }
        w.end = std::min(w.end, held);
        windows.push_back(w);
    }

    bool first = true;
    if (options.json) {
        out << "[";
    }
    for (const auto& w : windows) {
        const std::string letter(DeviceAreas::at(w.area).letter);
        for (std::uint32_t word = w.begin; word < w.end; ++word) {
            const unsigned value = image.word(w.area, word);
            const std::string name = DeviceAreas::viewerName(w.area, word);
            if (options.json) {
                out << (first ? "\n  " : ",\n  ")
                    << formatText(R"({"area": "%s", "word": %u, "name": "%s", "dec": %u, )"
                                  R"("hex": "H%04X"})",
                                  letter.c_str(), word, name.c_str(), value, value);
            } else {
                if (first) {
                    out << formatText("%-8s %5s  %s\n", "Device", "DEC", "HEX");
                }
                out << formatText("%-8s %5u  H%04X\n", name.c_str(), value, value);
            }
            first = false;
        }
    }
    if (options.json) {
        out << (first ? "]\n" : "\n]\n");
    }
    return kExitSuccess;
}

} // namespace dlu
