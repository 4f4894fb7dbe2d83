#pragma once

#include "plc/CpuTypeTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace dlu {

// Header texts of the project files, each written in the file followed by a zero byte.
namespace magic {
inline constexpr std::string_view kParameter = "QMR Systems Co.,Ltd. BELKO PLC PARAMTER FILE";
inline constexpr std::string_view kVariable = "QMR Systems Co.,Ltd. BELKO PLC VARIABLE FILE";
inline constexpr std::string_view kProgram = "QMR Systems Co.,Ltd. BELKO PLC PROGRAM File";
inline constexpr std::string_view kSpecialProgram =
    "QMR Systems Co.,Ltd. BELKO PLC SPECIAL PROGRAM FILE";
inline constexpr std::string_view kLink = "QMR Systems Co.,Ltd. BELKO PLC LINK FILE";
inline constexpr std::string_view kLinkXp = "QMR Systems Co.,Ltd. BELKO PLC LINK FILE XP";
inline constexpr std::string_view kObject = "QMR Systems Co.,Ltd. BELKO PLC OBJECT FILE";
inline constexpr std::string_view kFunction = "QMR Systems Co.,Ltd. BELKO PLC FUNCTION FILE";
inline constexpr std::string_view kOpcUa = "QMR Systems Co.,Ltd. BELKO PLC OPC UA FILE";
} // namespace magic

// What a file's extension says about its header: the accepted header texts and how many
// bytes of the file hold the header. An unknown kind has empty texts and size 0.
struct FileKindDescriptor {
    std::string_view primaryMagic;
    std::string_view alternateMagic;
    std::uint32_t headerSize = 0;

    bool empty() const { return primaryMagic.empty() && alternateMagic.empty() && headerSize == 0; }
};

// The header buffer is never longer than this.
inline constexpr std::size_t kMaxHeaderSize = 100;

// Lookup A: only the first three characters of the extension count, so that a working copy
// (Line1.PRMBUFF) finds the kind of its original. "PLC" stands for the variable kind here.
FileKindDescriptor lookupFileKindA(std::string_view extension);

// Lookup B: the whole extension; "PLCV" is the variable kind, "PLC" is unknown.
FileKindDescriptor lookupFileKindB(std::string_view extension);

// Text after the last '.' of the file name part (after the last '/' or '\'); empty when the
// name has no '.'.
std::string_view pathExtension(std::string_view path);

// True when `header`, read as a zero-terminated text, is one of the descriptor's texts. Only
// the given bytes are looked at: a non-empty header without a zero byte never matches. An
// empty header is the empty text (what an unknown kind reads).
bool HeaderMatches(std::span<const std::uint8_t> header, const FileKindDescriptor& kind);

// The two layouts of the link file's program block table.
enum class LinkLayout { Older, Xp };

// XP layout when the first bytes hold the link XP text followed by a zero byte.
LinkLayout chooseLinkLayout(std::span<const std::uint8_t> header);

// Link file: 100-byte header, the program block table (PBT), then the used programs.
inline constexpr std::size_t kPbtOffset = 100;
inline constexpr std::size_t kPbtEntryCount = 128;
inline constexpr std::size_t kPbtEntrySize = 64;
inline constexpr std::size_t kLinkProgramsOffset = kPbtOffset + kPbtEntryCount * kPbtEntrySize;

// The two fields of a PBT entry the download reads.
struct PbtEntry {
    bool used = false;
    std::uint64_t programBytes = 0; // stored length (in 4-byte units) times 4
};

PbtEntry readPbtEntry(std::span<const std::uint8_t, kPbtEntrySize> entry, LinkLayout layout,
                      CpuType cpu);

// Where each used program lies in a link file.
struct LinkProgram {
    bool used = false;
    std::uint64_t offset = 0; // from the start of the file
    std::uint64_t size = 0;
};

struct LinkFileMap {
    LinkLayout layout = LinkLayout::Older;
    std::array<LinkProgram, kPbtEntryCount> programs{};
    // False when the file is shorter than its header and PBT, or a used program runs past
    // the end of the file; programs from that one on are left unused.
    bool complete = false;
};

LinkFileMap mapLinkFile(std::span<const std::uint8_t> file, CpuType cpu);

} // namespace dlu
