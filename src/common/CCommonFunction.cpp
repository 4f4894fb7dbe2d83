#include "common/CCommonFunction.h"

#include <array>

namespace dlu {

namespace {

struct FileKind {
    std::string_view extension;
    unsigned number;
};

// Searched in this order; the first exact match wins.
// clang-format off
constexpr std::array<FileKind, 35> kFileKinds{{
    {"PLC", 1},   {"PAR", 2},   {"VAR", 3},   {"SRC", 4},   {"SPC", 5},  {"SFC", 6},
    {"BIN", 10},  {"PRM", 11},  {"VAZ", 12},  {"UP", 13},   {"OBJ", 14}, {"FBI", 20},
    {"FBS", 21},  {"FBL", 22},  {"FBB", 23},  {"PSN", 30},  {"PSNE", 31}, {"PSNS", 32},
    {"WSC", 40},  {"DWN", 41},  {"PLCV", 42}, {"MDS", 43},  {"SCD", 44}, {"DAM", 50},
    {"PDM", 51},  {"SIM", 60},  {"SIF", 61},  {"CLG", 70},  {"PPI", 71}, {"OUF", 90},
    {"BAK", 99},  {"PMR", 4},   {"PMP", 5},   {"PMF", 6},   {"PMT", 4},
}};
// clang-format on

// The copy loop both forms share; `at(i)` yields source byte i (zero past its end).
template <typename Dest, typename At> int boundedCopy(std::span<Dest> dest, std::size_t n, At at) {
    if (n == 0) {
        if (dest.empty()) {
            return CCommonFunction::kCopyTooSmall;
        }
        dest[0] = 0;
        return CCommonFunction::kCopyDone;
    }
    for (std::size_t i = 0;; ++i) {
        if (i >= dest.size()) {
            return CCommonFunction::kCopyTooSmall;
        }
        if (i == n + 1) {
            return CCommonFunction::kCopyDone;
        }
        dest[i] = at(i);
    }
}

} // namespace

unsigned CCommonFunction::fileKindNumber(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    const std::string_view ext =
        dot == std::string_view::npos ? fileName : fileName.substr(dot + 1);
    for (const auto& kind : kFileKinds) {
        if (kind.extension == ext) {
            return kind.number;
        }
    }
    return 0;
}

int CCommonFunction::copyBytes(std::span<std::uint8_t> dest, std::span<const std::uint8_t> source,
                               std::size_t n) {
    return boundedCopy(dest, n, [&](std::size_t i) -> std::uint8_t {
        return i < source.size() ? source[i] : std::uint8_t{0};
    });
}

int CCommonFunction::copyText(std::span<char> dest, std::string_view text) {
    return boundedCopy(dest, text.size(),
                       [&](std::size_t i) { return i < text.size() ? text[i] : '\0'; });
}

} // namespace dlu
