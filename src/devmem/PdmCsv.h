#pragma once

#include "plc/CpuTypeTable.h"
#include "devmem/PdmImage.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace dlu {

// Device memory words as comma-separated text, so that values can be prepared in a
// spreadsheet: a header "area,address,dec,hex" and one row per word ("D,100,1234,H04D2").
class PdmCsv {
public:
    // A larger text is refused before it is read: the biggest useful file (every word of every
    // area) is well under 2 MB.
    static constexpr std::size_t kMaxBytes = 8u << 20;
    static constexpr std::size_t kMaxLineLength = 256;

    // The words of every area the image selects, over its range; with `area` set, that area's
    // range when selected, else every word of the area a file carries.
    static std::string write(const PdmImage& image, int area = -1);

    struct Import {
        bool ok = false;
        PdmImage image;       // flag 1, mask and ranges from the rows, when ok
        std::size_t rows = 0; // words taken
        std::size_t line = 0; // line of the refused row (from 1), 0 for the whole text
        std::string error;    // why; text from the file in it is made visible
    };

    // Reads rows for a CPU type. Every row must name an area of the type, a word inside its
    // capacity (and inside what a file carries), a value from 0 to 65535 (DEC or HEX, both
    // when they agree), no word twice, and each area's words without a gap: the range of an
    // area runs from its first to its last word, and a restore writes every word of it. The
    // first refused row ends the import; nothing is taken from a text with an error.
    static Import read(std::string_view text, CpuType cpu);
    static Import readFile(const std::filesystem::path& file, CpuType cpu);
};

} // namespace dlu
