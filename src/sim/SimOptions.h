#pragma once

#include "devmem/PdmImage.h"
#include "sim/PlcSimulator.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dlu::sim {

// The simulated PLC as its options describe it, before the options are checked against each
// other: plcsim's command line and the embedded connection's query both fill it through the one
// table of simOptions().
struct SimOptions {
    std::optional<std::string> identity; // label, CPU type code or raw identity word
    std::string cpuType;                 // CPU type whose device addresses it uses
    std::optional<std::uint16_t> firmware;
    std::uint8_t station = 0xFF;
    RunState state = RunState::Stop;
    KeySwitch key = KeySwitch::Remote;
    bool olderPlc = false;
    bool downloadInRun = false;

    std::string password;
    std::optional<PasswordForm> passwordForm;

    std::optional<std::uint32_t> memorySeed;
    std::string memoryFile;
    std::size_t imageSize = 0;

    FaultConfig faults;               // every fault but the error rules
    std::vector<std::string> errorOn; // "CMD:CODE", checked by resolveSimOptions
    std::string hangOn;               // "CMD": stop dead at its first request (a test hook)
    std::vector<std::string> errorAt; // "N:CODE"
};

// One option of the simulated PLC. plcsim takes it as --name, the embedded connection as
// uriName=VALUE (an empty value there means not given).
struct SimOption {
    enum class Type { Flag, Text, Number, Fraction, Choice };

    const char* name;
    const char* uriName; // nullptr: plcsim only
    const char* group;   // "" or the heading it is listed under
    Type type;
    bool repeated; // may be given more than once, each adds one
    const char* help;
    const char* defaultText;                        // shown with the help, "" for none
    std::vector<std::string> choices;               // Type::Choice: the words taken
    std::optional<std::pair<double, double>> range; // Number, Fraction: the values taken
    bool existingFile;                              // names a file that must exist
    // Takes one value into the options; false when it is no value of this option. A flag gets
    // "1" or "0".
    bool (*set)(SimOptions&, const std::string&);
};

std::span<const SimOption> simOptions();

// A PLC configuration made from checked options.
struct SimSetup {
    PlcConfig plc;
    FaultConfig faults;
    std::optional<std::uint32_t> memorySeed;
    std::optional<PdmImage> memory; // from SimOptions::memoryFile
    std::string warning;            // options that make sense alone but disagree, if any
};

struct SimOptionError {
    bool unknownIdentity = false; // the identity names no PLC (text: the identity)
    std::string text;
};

// Checks the options against each other and makes the PLC's configuration: the identity (by
// default `defaultIdentity`, or A-01 for a stored password form), its CPU type and a firmware
// version that agrees with the password form, the error rules; loads the memory file.
std::optional<SimSetup> resolveSimOptions(const SimOptions& options,
                                          std::string_view defaultIdentity, SimOptionError& error);

// The simulator of a setup, its device memory filled or loaded. Throws std::exception when it
// cannot be made (see SimPassword).
std::unique_ptr<PlcSimulator> makeSimulator(const SimSetup& setup);

// Takes the embedded connection's query options by their uriName; others are left alone.
// False with `error` set for a bad value.
bool applyUriOptions(const std::map<std::string, std::string>& query, SimOptions& options,
                     std::string& error);

} // namespace dlu::sim
