#pragma once

#include "plc/CpuTypeTable.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dlu {

// What the project's CPU type comes to against the PLC that answered.
enum class CpuMatch {
    Accepted,       // go on silently
    Warned,         // message 616, then go on
    RefusedWarning, // message 616 with a stop icon; no connection
    Refused,        // message 617 with a stop icon; no connection
    // The row names neither the project's type nor is it the PLC's own: message 616 as a
    // question (default No). The table predates the newer types, so a pair it does not name
    // is a mismatch nobody has ruled on, not one known to be harmless.
    Asked,
};

struct PlcIdentityMatch {
    bool known = false;  // the CPU code is in the table (else message 615)
    bool listed = false; // the sub-code is listed too (else accepted without a check)
    std::string label;   // "A-21", for the PLC text
    std::string plcText; // "\n\nPLC CPU Type : A-21 " (the trailing space where it has one)
    CpuMatch match = CpuMatch::Accepted;
};

// How a PLC takes its password: the stored check (the program reads the stored password and
// compares) or the exchange (the PLC checks what the program sends).
enum class PasswordScheme { StoredCheck, Exchange };

// The identification table: which PLC a CPU code and sub-code ("F0080", high and low byte)
// name, and which project CPU types each PLC refuses or warns about.
class PlcIdentification {
public:
    static PlcIdentityMatch identify(std::uint16_t identityWord, CpuType projectCpuType);

    // The password scheme of a PLC by its CPU code (the identity's high byte) and firmware.
    static PasswordScheme passwordScheme(std::uint8_t cpuCode, std::uint32_t firmware);

    // "\nProject CPU Type : " + the project's display name (empty for unnamed types).
    static std::string projectText(CpuType projectCpuType);
};

} // namespace dlu
