#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace dlu {

struct PdmShowOptions {
    std::string file;
    std::string area;                   // a letter ("D", "TC"); empty: every area the file selects
    std::optional<std::uint32_t> from;  // first word; default: the start of the file's range
    std::optional<std::uint32_t> count; // words; default: up to the end of the file's range
    bool json = false;
};

// dlutil pdm show: the words of a ".PDM" file as the device memory viewer shows them (name,
// DEC, "H%04X"), as text lines or a JSON array. Needs no PLC.
int runPdmShow(const PdmShowOptions& options, std::ostream& out);

} // namespace dlu
