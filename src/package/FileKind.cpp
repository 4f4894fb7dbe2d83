#include "package/FileKind.h"

#include <algorithm>
#include <cctype>

namespace dlu {

namespace {

struct KindRow {
    std::string_view extension;
    FileKindDescriptor kind;
};

// Rows in the order they are tried; the first match wins. The "PLC" row is the one the two
// lookups differ in, so it is kept apart.
constexpr std::array kKindRows = {
    KindRow{"PAR", {magic::kParameter, magic::kParameter, 100}},
    KindRow{"VAR", {magic::kVariable, magic::kVariable, 100}},
    KindRow{"", {}}, // placeholder for the variable row of the lookup
    KindRow{"SRC", {magic::kProgram, magic::kProgram, 84}},
    KindRow{"PMR", {magic::kProgram, magic::kProgram, 84}},
    KindRow{"SPC", {magic::kSpecialProgram, magic::kSpecialProgram, 100}},
    KindRow{"PMP", {magic::kSpecialProgram, magic::kSpecialProgram, 100}},
    KindRow{"SFC", {magic::kProgram, magic::kProgram, 84}},
    KindRow{"PMF", {magic::kProgram, magic::kProgram, 84}},
    KindRow{"PMT", {magic::kProgram, magic::kProgram, 84}},
    KindRow{"PRM", {magic::kParameter, magic::kParameter, 100}},
    KindRow{"BIN", {magic::kLink, magic::kLinkXp, 100}},
    KindRow{"BAK", {magic::kProgram, magic::kSpecialProgram, 100}},
    KindRow{"OBJ", {magic::kObject, magic::kObject, 100}},
    KindRow{"FBI", {magic::kFunction, magic::kFunction, 100}},
    KindRow{"FBS", {magic::kFunction, magic::kFunction, 100}},
    KindRow{"FBL", {magic::kFunction, magic::kFunction, 100}},
    KindRow{"FBB", {magic::kFunction, magic::kFunction, 100}},
    KindRow{"WSC", {magic::kSpecialProgram, magic::kSpecialProgram, 100}},
    KindRow{"OUF", {magic::kOpcUa, magic::kOpcUa, 100}},
};
constexpr std::size_t kVariableRow = 2;
constexpr FileKindDescriptor kVariableKind{magic::kVariable, magic::kVariable, 100};

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

FileKindDescriptor lookup(std::string_view extension, std::string_view variableExtension) {
    for (std::size_t i = 0; i < kKindRows.size(); ++i) {
        if (i == kVariableRow) {
            if (equalsNoCase(extension, variableExtension)) {
                return kVariableKind;
            }
            continue;
        }
        if (equalsNoCase(extension, kKindRows[i].extension)) {
            return kKindRows[i].kind;
        }
    }
    return {};
}

std::uint32_t readUnsigned(std::span<const std::uint8_t> bytes, bool littleEndian) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t at = littleEndian ? bytes.size() - 1 - i : i;
        v = (v << 8) | bytes[at];
    }
    return v;
}

} // namespace

FileKindDescriptor lookupFileKindA(std::string_view extension) {
    return lookup(extension.substr(0, 3), "PLC");
}

FileKindDescriptor lookupFileKindB(std::string_view extension) { return lookup(extension, "PLCV"); }

std::string_view pathExtension(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
}

bool HeaderMatches(std::span<const std::uint8_t> header, const FileKindDescriptor& kind) {
    std::string_view text;
    if (!header.empty()) {
        const auto zero = std::find(header.begin(), header.end(), std::uint8_t{0});
        if (zero == header.end()) {
            return false;
        }
        text = std::string_view(reinterpret_cast<const char*>(header.data()),
                                static_cast<std::size_t>(zero - header.begin()));
    }
    return text == kind.primaryMagic || text == kind.alternateMagic;
}

LinkLayout chooseLinkLayout(std::span<const std::uint8_t> header) {
    const std::size_t n = magic::kLinkXp.size();
    if (header.size() > n && header[n] == 0 &&
        std::equal(magic::kLinkXp.begin(), magic::kLinkXp.end(), header.begin(),
                   [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; })) {
        return LinkLayout::Xp;
    }
    return LinkLayout::Older;
}

PbtEntry readPbtEntry(std::span<const std::uint8_t, kPbtEntrySize> entry, LinkLayout layout,
                      CpuType cpu) {
    const bool little = CpuTypeTable::littleEndianProgramLengths(cpu);
    PbtEntry out;
    if (layout == LinkLayout::Xp) {
        out.used = entry[2] != 0xFF;
        out.programBytes = std::uint64_t{readUnsigned(entry.subspan(20, 4), little)} * 4;
    } else {
        out.used = entry[20] != 0xFF;
        out.programBytes = std::uint64_t{readUnsigned(entry.subspan(14, 2), little)} * 4;
    }
    if (!out.used) {
        out.programBytes = 0;
    }
    return out;
}

LinkFileMap mapLinkFile(std::span<const std::uint8_t> file, CpuType cpu) {
    LinkFileMap map;
    map.layout = chooseLinkLayout(file.first(std::min(file.size(), kMaxHeaderSize)));
    if (file.size() < kLinkProgramsOffset) {
        return map;
    }
    std::uint64_t offset = kLinkProgramsOffset;
    for (std::size_t i = 0; i < kPbtEntryCount; ++i) {
        const auto raw = file.subspan(kPbtOffset + i * kPbtEntrySize).first<kPbtEntrySize>();
        const PbtEntry entry = readPbtEntry(raw, map.layout, cpu);
        if (!entry.used) {
            continue;
        }
        if (entry.programBytes > file.size() - offset) {
            return map; // runs past the end: incomplete
        }
        map.programs[i] = LinkProgram{true, offset, entry.programBytes};
        offset += entry.programBytes;
    }
    map.complete = true;
    return map;
}

} // namespace dlu
