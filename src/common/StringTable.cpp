#include "common/StringTable.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace dlu {

std::string_view stringTableEntry(int id) {
    const auto entries = stringTableEntries();
    const auto it = std::lower_bound(entries.begin(), entries.end(), id,
                                     [](const StringEntry& e, int key) { return e.id < key; });
    if (it == entries.end() || it->id != id || it->text == nullptr) {
        return {};
    }
    return it->text;
}

namespace {

// A printf format cut at its conversions: the literal pieces around them ("%%" is a literal
// '%'), one more piece than conversions.
std::vector<std::string> formatPieces(std::string_view format) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            pieces.back() += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            pieces.back() += '%';
            ++i;
            continue;
        }
        // Flags, width, precision and length, up to the conversion letter.
        std::size_t j = i + 1;
        while (j < format.size() && std::string_view("-+ #0123456789.hlLzjt").find(format[j]) !=
                                        std::string_view::npos) {
            ++j;
        }
        i = j; // the conversion letter
        pieces.emplace_back();
    }
    return pieces;
}

struct Filled {
    std::vector<std::string> values;
    std::size_t end = 0; // where the filled-in format ends in the text
};

// The values the conversions of `pieces` stand for in `shown`, when `shown` is the format
// filled in, then a line break or nothing: each value is at least one character, the last
// one reaches to the line break.
std::optional<Filled> filledValues(const std::vector<std::string>& pieces, std::string_view shown) {
    if (shown.substr(0, pieces[0].size()) != pieces[0]) {
        return std::nullopt;
    }
    std::vector<std::string> values;
    std::size_t at = pieces[0].size();
    for (std::size_t k = 1; k < pieces.size(); ++k) {
        const std::string& next = pieces[k];
        std::size_t end = 0;
        if (next.empty()) {
            end = k + 1 == pieces.size() ? shown.find('\n', at + 1) : at + 1;
            if (end == std::string_view::npos) {
                end = shown.size();
            }
        } else {
            end = shown.find(next, at + 1);
        }
        if (end == std::string_view::npos || end <= at || end > shown.size()) {
            return std::nullopt;
        }
        values.emplace_back(shown.substr(at, end - at));
        at = end + next.size();
    }
    if (at != shown.size() && shown[at] != '\n') {
        return std::nullopt;
    }
    return Filled{std::move(values), at};
}

} // namespace

std::string englishText(std::string_view shown) {
    constexpr int kEnglish = messageIdOffset(Language::English);
    std::string best;
    std::size_t bestLiteral = 0; // the longer the fixed text matched, the surer the match
    for (const auto& entry : stringTableEntries()) {
        if (entry.id >= 400 + kEnglish || entry.text == nullptr || *entry.text == '\0') {
            continue;
        }
        const auto pieces = formatPieces(entry.text);
        std::size_t literal = 0;
        for (const auto& p : pieces) {
            literal += p.size();
        }
        if (literal <= bestLiteral) {
            continue;
        }
        const auto filled = filledValues(pieces, shown);
        const auto english = stringTableEntry(entry.id + kEnglish);
        if (!filled || english.empty()) {
            continue;
        }
        const auto englishPieces = formatPieces(english);
        std::string text = englishPieces[0];
        for (std::size_t k = 1; k < englishPieces.size(); ++k) {
            text += k - 1 < filled->values.size() ? filled->values[k - 1] : std::string();
            text += englishPieces[k];
        }
        text += shown.substr(filled->end);
        best = std::move(text);
        bestLiteral = literal;
    }
    return bestLiteral == 0 ? std::string(shown) : best;
}

} // namespace dlu
