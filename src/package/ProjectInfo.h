#pragma once

#include "plc/CpuTypeTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dlu {

// One 40-byte program entry: the layout of the project information's program list and of the
// ST program table. Multi-byte numbers are little-endian.
struct ProgramEntry {
    static constexpr std::size_t kSize = 40;
    static constexpr std::size_t kNameSize = 32;

    std::uint32_t presence = 0; // ST program table: 1 present, 0 absent
    std::uint16_t pid = 0;
    std::array<char, kNameSize> name{};
    std::uint16_t kind = 0; // program kind 1 to 7; 0 in the ST program table

    // The name up to its zero byte, or all 32 bytes when it has none.
    std::string_view nameText() const;

    static ProgramEntry decode(std::span<const std::uint8_t, kSize> bytes);
};

// The project information record as the package's INI file stores it (4516 bytes).
class ProjectInfo {
public:
    static constexpr std::size_t kRecordSize = 4516;
    static constexpr std::size_t kMaxPrograms = 112;
    static constexpr std::size_t kProgramListOffset = 36;

    using Record = std::array<std::uint8_t, kRecordSize>;

    ProjectInfo() = default;
    explicit ProjectInfo(const Record& record) : record_(record) {}

    const Record& record() const { return record_; }

    std::string_view projectName() const;
    CpuType cpuType() const;
    // The stored count; the list itself never holds more than kMaxPrograms.
    std::uint16_t storedProgramCount() const;
    // The count bounded to the list: what readers of the program list may use.
    std::size_t programCount() const;
    // Entry i of the list, i < kMaxPrograms.
    ProgramEntry program(std::size_t i) const;

    bool isZero() const;

private:
    Record record_{};
};

// Reads the record from section "BELKO_PLC", key "PROJECT_INFO" of an INI text: the record's
// bytes as hexadecimal digits followed by a check byte, the sum of the bytes modulo 256.
// Anything else (no section or key, a wrong length, a wrong digit or check byte) gives
// nothing, and the caller keeps a record of zeros.
std::optional<ProjectInfo::Record> parseProjectInfoIni(std::string_view iniText);

// The same from a file; a missing or unreadable file gives an all-zero record, as does a
// value that does not decode.
ProjectInfo readProjectInfo(const std::string& iniPath);

} // namespace dlu
