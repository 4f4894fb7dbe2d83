#include "devmem/PdmCsv.h"

#include "common/FileTarget.h"

#include "common/TerminalText.h"
#include "common/TextFormat.h"
#include "devmem/PdmDiff.h"
#include "plc/DeviceArea.h"
#include "plc/DeviceRanges.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

namespace dlu {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
        s = s.substr(1, s.size() - 2);
    }
    return s;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t comma = line.find(',', begin);
        out.push_back(trim(line.substr(
            begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin)));
        if (comma == std::string_view::npos) {
            return out;
        }
        begin = comma + 1;
    }
}


// Decimal digits only, at most `limit`.
std::optional<std::uint32_t> decimal(std::string_view s, std::uint32_t limit) {
    if (s.empty() || s.size() > 10) {
        return std::nullopt;
    }
    std::uint64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > limit) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

// "H04D2", "04D2" or "0x04D2": one to four hexadecimal digits.
std::optional<std::uint16_t> hexadecimal(std::string_view s) {
    if (!s.empty() && (s.front() == 'H' || s.front() == 'h')) {
        s.remove_prefix(1);
    } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
    }
    if (s.empty() || s.size() > 4) {
        return std::nullopt;
    }
    unsigned v = 0;
    for (const char c : s) {
        const int u = std::toupper(static_cast<unsigned char>(c));
        if (u >= '0' && u <= '9') {
            v = v * 16 + static_cast<unsigned>(u - '0');
        } else if (u >= 'A' && u <= 'F') {
            v = v * 16 + static_cast<unsigned>(u - 'A' + 10);
        } else {
            return std::nullopt;
        }
    }
    return static_cast<std::uint16_t>(v);
}

PdmCsv::Import refuse(std::size_t line, std::string why) {
    PdmCsv::Import r;
    r.line = line;
    r.error = std::move(why);
    return r;
}

struct Row {
    std::uint32_t word;
    std::uint16_t value;
    std::size_t line;
};
using AreaRows = std::array<std::map<std::uint32_t, Row>, DeviceAreas::kCount>;

// The image of the rows read: each area's rows must follow on without a gap, since a restore
// writes every word of an area's range.
PdmCsv::Import imageOfRows(const AreaRows& rows) {
    PdmCsv::Import result;
    result.image.setFlag(1);
    std::uint16_t mask = 0;
    for (int a = 0; a < DeviceAreas::kCount; ++a) {
        const auto& areaRows = rows[static_cast<std::size_t>(a)];
        if (areaRows.empty()) {
            continue;
        }
        std::uint32_t next = areaRows.begin()->first;
        for (const auto& [word, row] : areaRows) {
            if (word != next) {
                const std::string letter(DeviceAreas::at(a).letter);
                return refuse(row.line,
                              formatText("%s%u leaves %s%u to %s%u out; a restore writes every "
                                         "word of the range, so give them too",
                                         letter.c_str(), word, letter.c_str(), next, letter.c_str(),
                                         word - 1));
            }
            result.image.setWord(a, word, row.value);
            ++next;
        }
        mask = static_cast<std::uint16_t>(mask | (1u << a));
        result.image.setRange(a, {static_cast<std::uint16_t>(areaRows.begin()->first),
                                  static_cast<std::uint16_t>(next)});
    }
    result.image.setMask(mask);
    result.ok = true;
    return result;
}

} // namespace

std::string PdmCsv::write(const PdmImage& image, int area) {
    std::string out = "area,address,dec,hex\n";
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        const bool selected = (image.mask() & (1u << i)) != 0;
        if (area >= 0 ? i != area : !selected) {
            continue;
        }
        const std::uint32_t held = PdmImage::fileWords(i);
        const auto range = image.range(i);
        const std::uint32_t begin = selected ? range.start : 0u;
        const std::uint32_t end = std::min<std::uint32_t>(selected ? range.end : held, held);
        const std::string letter(DeviceAreas::at(i).letter);
        for (std::uint32_t w = begin; w < end; ++w) {
            const unsigned v = image.word(i, w);
            out += formatText("%s,%u,%u,H%04X\n", letter.c_str(), w, v, v);
        }
    }
    return out;
}

PdmCsv::Import PdmCsv::read(std::string_view text, CpuType cpu) {
    if (cpu > kMaxCpuType) {
        return refuse(0, "unknown CPU type");
    }
    if (text.size() > kMaxBytes) {
        return refuse(0, formatText("larger than %zu bytes", kMaxBytes));
    }
    if (text.starts_with("\xEF\xBB\xBF")) { // a spreadsheet's UTF-8 mark
        text.remove_prefix(3);
    }
    AreaRows rows;
    std::size_t lineNo = 0;
    std::size_t taken = 0;
    bool sawContent = false;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t nl = text.find('\n');
        const std::string_view raw = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (raw.size() > kMaxLineLength) {
            return refuse(lineNo, "line too long");
        }
        const auto f = fields(raw);
        if (f.size() == 1 && f[0].empty()) {
            continue; // blank line
        }
        const bool header = !sawContent && upperAscii(f[0]) == "AREA";
        sawContent = true;
        if (header) {
            continue;
        }
        if (f.size() < 3 || f.size() > 4) {
            return refuse(lineNo, "expected area,address,dec,hex");
        }
        const std::string letter = upperAscii(f[0]);
        const DeviceArea* area = DeviceAreas::byLetter(letter);
        if (area == nullptr) {
            return refuse(lineNo, "unknown area \"" + displaySafe(f[0]) + "\"");
        }
        const int a = static_cast<int>(area->index);
        const std::uint32_t limit =
            std::min<std::uint32_t>(DeviceRanges::capacity(a, cpu), PdmImage::fileWords(a));
        const auto word = decimal(f[1], 0xFFFFFFFFu);
        if (!word) {
            return refuse(lineNo, "address \"" + displaySafe(f[1]) + "\" is not a word number");
        }
        if (*word >= limit) {
            return refuse(lineNo,
                          formatText("%s%u is outside the %s area of CPU type %u (words 0 to %u)",
                                     letter.c_str(), *word, letter.c_str(), unsigned{cpu},
                                     limit - 1));
        }
        std::optional<std::uint16_t> value;
        if (!f[2].empty()) {
            const auto dec = decimal(f[2], 65535);
            if (!dec) {
                return refuse(lineNo, "DEC \"" + displaySafe(f[2]) + "\" is not 0 to 65535");
            }
            value = static_cast<std::uint16_t>(*dec);
        }
        if (f.size() == 4 && !f[3].empty()) {
            const auto hex = hexadecimal(f[3]);
            if (!hex) {
                return refuse(lineNo, "HEX \"" + displaySafe(f[3]) + "\" is not H0000 to HFFFF");
            }
            if (value && *value != *hex) {
                return refuse(lineNo, "DEC and HEX disagree");
            }
            value = hex;
        }
        if (!value) {
            return refuse(lineNo, "no value");
        }
        auto& areaRows = rows[static_cast<std::size_t>(a)];
        if (const auto seen = areaRows.find(*word); seen != areaRows.end()) {
            return refuse(lineNo, formatText("%s%u was already given on line %zu", letter.c_str(),
                                             *word, seen->second.line));
        }
        areaRows.emplace(*word, Row{*word, *value, lineNo});
        ++taken;
    }
    if (taken == 0) {
        return refuse(0, "no rows");
    }

    Import result = imageOfRows(rows);
    result.rows = result.ok ? taken : 0;
    return result;
}

PdmCsv::Import PdmCsv::readFile(const std::filesystem::path& file, CpuType cpu) {
    // A named pipe or a device is refused, never waited on.
    std::string why;
    const auto bytes = readRegularFile(file.string(), kMaxBytes, why);
    if (!bytes) {
        return refuse(0, "cannot read the file: " + why);
    }
    return read(std::string(bytes->begin(), bytes->end()), cpu);
}

} // namespace dlu
