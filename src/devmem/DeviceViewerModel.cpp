#include "devmem/DeviceViewerModel.h"

#include "common/TextFormat.h"
#include "plc/DeviceRanges.h"

#include <algorithm>
#include <cctype>

namespace dlu {

namespace {

constexpr long long kWordMax = 65535;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const int u = std::toupper(static_cast<unsigned char>(c));
    return u >= 'A' && u <= 'F' ? u - 'A' + 10 : -1;
}

// The number formed by the leading decimal digits after blanks and a sign; 0 when there are
// none. Saturates instead of overflowing: anything past a word is out of range anyway.
long long leadingDecimal(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && isBlank(t[i])) {
        ++i;
    }
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
        v = std::min(v * 10 + (t[i] - '0'), kWordMax + 1);
    }
    return negative ? -v : v;
}

// The number formed by the leading hexadecimal digits; 0 when there are none.
long long leadingHex(std::string_view t) {
    long long v = 0;
    for (char c : t) {
        const int d = hexValue(c);
        if (d < 0) {
            break;
        }
        v = std::min(v * 16 + d, kWordMax + 1);
    }
    return v;
}

CellEdit stored(std::uint16_t value, std::string dec, std::string hex) {
    return {CellEdit::Outcome::Stored, value, std::move(dec), std::move(hex)};
}

CellEdit outOfRange() { return {CellEdit::Outcome::OutOfRange, 0, {}, {}}; }

} // namespace

DeviceViewerModel::DeviceViewerModel(CpuType cpuType, const PdmImage& source)
    : cpuType_(cpuType), working_(source) {}

void DeviceViewerModel::selectArea(int area) {
    if (area >= 0 && area < DeviceAreas::kCount) {
        area_ = area;
    }
}

std::uint32_t DeviceViewerModel::rowCount() const {
    // The capacity of the area for the CPU type, never more than the image holds.
    return std::min<std::uint32_t>(DeviceRanges::capacity(area_, cpuType_),
                                   PdmImage::wordCount(area_));
}

std::string DeviceViewerModel::cellText(std::uint32_t row, int column) const {
    const auto word = working_.word(area_, row);
    switch (column) {
    case ColNo:
        return formatText("%02u", row + 1);
    case ColDevice:
        return DeviceAreas::viewerName(area_, row);
    case ColVariable:
        return {};
    case ColDec:
        return row < rowCount() ? formatText("%u", unsigned{word}) : std::string("ERROR");
    case ColHex:
        return row < rowCount() ? formatText("H%04X", unsigned{word}) : std::string("ERROR");
    default:
        return {};
    }
}

CellEdit DeviceViewerModel::parseDec(std::string_view text) {
    const long long v = leadingDecimal(text);
    if (v == 0 && text != "0") {
        return {};
    }
    if (v < 0 || v > kWordMax) {
        return outOfRange();
    }
    const auto value = static_cast<std::uint16_t>(v);
    return stored(value, std::string(text), formatText("H%04X", unsigned{value}));
}

CellEdit DeviceViewerModel::parseHex(std::string_view text) {
    long long v = 0;
    const bool prefixed = !text.empty() && (text[0] == 'H' || text[0] == 'h');
    if (prefixed) {
        if (text.size() > 5) {
            return {};
        }
        v = leadingHex(text.substr(1));
        if (v == 0) {
            return {};
        }
    } else {
        v = leadingHex(text);
        if (v == 0 && text != "0") {
            return {};
        }
    }
    if (v > kWordMax) {
        return outOfRange();
    }
    std::string hex(text);
    std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    if (!prefixed) {
        hex.insert(hex.begin(), 'H');
    }
    const auto value = static_cast<std::uint16_t>(v);
    return stored(value, formatText("%u", unsigned{value}), std::move(hex));
}

CellEdit DeviceViewerModel::edit(std::uint32_t row, int column, std::string_view text) {
    if (row >= rowCount() || !editable(column)) {
        return {};
    }
    CellEdit result = column == ColDec ? parseDec(text) : parseHex(text);
    if (result.outcome == CellEdit::Outcome::Stored) {
        working_.setWord(area_, row, result.value);
    }
    return result;
}

std::vector<CellEdit> DeviceViewerModel::paste(std::uint32_t row, int column,
                                               std::string_view clipboard) {
    std::vector<CellEdit> results;
    std::size_t begin = 0;
    for (std::uint32_t r = row;; ++r) {
        const std::size_t nl = clipboard.find('\n', begin);
        const std::string_view piece = clipboard.substr(
            begin, nl == std::string_view::npos ? std::string_view::npos : nl - begin);
        if (r >= rowCount()) {
            break;
        }
        results.push_back(edit(r, column, piece));
        if (nl == std::string_view::npos) {
            break;
        }
        begin = nl + 1;
    }
    return results;
}

void DeviceViewerModel::take(const PdmImage& rows) {
    for (int area = 0; area < DeviceAreas::kCount; ++area) {
        if ((rows.mask() & (1u << area)) == 0) {
            continue;
        }
        const auto range = rows.range(area);
        for (std::uint32_t w = range.start; w < range.end; ++w) {
            working_.setWord(area, w, rows.word(area, w));
        }
    }
}

} // namespace dlu
