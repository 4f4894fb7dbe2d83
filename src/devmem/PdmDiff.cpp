#include "devmem/PdmDiff.h"

#include "common/TextFormat.h"
#include "plc/DeviceArea.h"

#include <algorithm>

namespace dlu {

std::vector<WordDifference> PdmDiff::compare(const PdmImage& a, const PdmImage& b, int area) {
    std::vector<WordDifference> out;
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        if (area >= 0 && i != area) {
            continue;
        }
        const std::uint32_t words = PdmImage::fileWords(i);
        for (std::uint32_t w = 0; w < words; ++w) {
            const auto x = a.word(i, w);
            const auto y = b.word(i, w);
            if (x != y) {
                out.push_back({i, w, x, y});
            }
        }
    }
    return out;
}

std::string PdmDiff::line(const WordDifference& d) {
    return formatText("%s  %u -> %u", DeviceAreas::viewerName(d.area, d.word).c_str(),
                      unsigned{d.before}, unsigned{d.after});
}

std::string PdmDiff::json(const WordDifference& d) {
    return formatText(R"({"area": "%s", "word": %u, "name": "%s", "a": %u, "b": %u})",
                      std::string(DeviceAreas::at(d.area).letter).c_str(), d.word,
                      DeviceAreas::viewerName(d.area, d.word).c_str(), unsigned{d.before},
                      unsigned{d.after});
}

} // namespace dlu
