#include "plc/PlcIdentification.h"

#include <array>

namespace dlu {

namespace {

// A set of CPU type codes 0..63 written as "0-7, 9-14, 29": a bit per code.
constexpr std::uint64_t types(std::string_view spec) {
    std::uint64_t bits = 0;
    std::size_t i = 0;
    const auto number = [&](std::size_t& at) {
        unsigned v = 0;
        while (at < spec.size() && spec[at] >= '0' && spec[at] <= '9') {
            v = v * 10 + static_cast<unsigned>(spec[at] - '0');
            ++at;
        }
        return v;
    };
    while (i < spec.size()) {
        while (i < spec.size() && (spec[i] == ' ' || spec[i] == ',')) {
            ++i;
        }
        if (i >= spec.size()) {
            break;
        }
        const unsigned from = number(i);
        unsigned to = from;
        if (i < spec.size() && spec[i] == '-') {
            ++i;
            to = number(i);
        }
        for (unsigned t = from; t <= to && t < 64; ++t) {
            bits |= std::uint64_t{1} << t;
        }
    }
    return bits;
}

static_assert(types("4, 5, 9-14, 29, 34") ==
              ((1u << 4) | (1u << 5) | (0x3Fu << 9) | (1u << 29) | (std::uint64_t{1} << 34)));

enum class Sub { Any, HighNibble, OneOf };

struct Row {
    std::uint8_t code;
    Sub sub;
    std::string_view subCodes; // OneOf: the listed sub-codes; HighNibble: one digit '0'..'3'
    std::string_view label;
    bool trailingSpace;
    std::uint64_t refused;        // 617
    std::uint64_t refusedWarning; // 616, refused
    std::uint64_t warned;         // 616, go on
    // Firmware from which the PLC takes the password exchange; older firmware has the stored
    // check. 0: always the exchange.
    std::uint16_t exchangeFrom;
};

constexpr std::uint64_t kNone = 0;

// clang-format off
constexpr std::array kRows{
    Row{'1', Sub::Any, "", "A-01", false, types("4, 5, 9-14, 29, 34"), kNone, types("1, 2, 3"), 346},
    Row{'2', Sub::Any, "", "A-02", false, types("4, 5, 9-14, 29, 34"), kNone, types("0, 2, 3"), 346},
    Row{'3', Sub::Any, "", "A-03", false, types("4, 5, 9-14, 29, 34"), kNone, types("0, 1, 3"), 346},
    Row{'4', Sub::Any, "", "A-04", false, types("4, 5, 9-14, 29, 34"), kNone, types("0, 1, 2"), 346},
    Row{'B', Sub::Any, "", "B-01", false, types("0-3, 5, 10-14, 29, 34"), kNone, kNone, 256},
    Row{'X', Sub::HighNibble, "0", "A-09", false, types("0-7, 10-14, 29, 34"), kNone, kNone, 0},
    Row{'X', Sub::HighNibble, "1", "A-05", false, types("0-4, 9-14, 29, 34"), kNone, types("6, 7"), 0},
    Row{'X', Sub::HighNibble, "2", "A-06", false, types("0-4, 9-14, 29, 34"), kNone, types("5, 7"), 0},
    Row{'X', Sub::HighNibble, "3", "A-07", false, types("0-4, 9-14, 29, 34"), kNone, types("5, 6"), 0},
    Row{'U', Sub::Any, "", "C-08", false, types("0-5, 10, 34"), kNone, kNone, 0},
    Row{'u', Sub::Any, "", "C-09", false, types("0-5, 14, 29"), kNone, kNone, 0},
    Row{'m', Sub::OneOf, "1ARS", "A-10", true, types("0-7, 9, 10, 14, 29, 34"), kNone, types("12, 13"), 0},
    Row{'m', Sub::OneOf, "2B", "A-11", true, types("0-7, 9, 10, 14, 29, 34"), kNone, types("11, 13"), 0},
    Row{'m', Sub::OneOf, "3C", "A-12", true, types("0-7, 9, 10, 14, 29, 34"), kNone, types("11, 12"), 0},
    Row{'x', Sub::OneOf, "1", "A-13", true, types("0-7, 9-14, 18, 19, 29, 34"), kNone, types("16, 17"), 0},
    Row{'x', Sub::OneOf, "2", "A-14", true, types("0-7, 9-14, 18, 19, 29, 34"), kNone, types("15, 17"), 0},
    Row{'x', Sub::OneOf, "3", "A-15", true, types("0-7, 9-14, 18, 19, 29, 34"), kNone, types("15, 16"), 0},
    Row{'C', Sub::OneOf, "3", "A-16", true, types("0-7, 9-17, 29, 34"), kNone, types("19"), 0},
    Row{'C', Sub::OneOf, "4", "A-17", true, types("0-7, 9-17, 29, 34"), kNone, types("18"), 0},
    Row{'f', Sub::OneOf, "1", "A-18", true, types("0-7, 9-19, 26-29, 34"), types("21, 22"), kNone, 0},
    Row{'f', Sub::OneOf, "2", "A-19", true, types("0-7, 9-19, 26-29, 34"), types("20, 22"), kNone, 0},
    Row{'f', Sub::OneOf, "3", "A-20", true, types("0-7, 9-19, 26-29, 34"), types("20, 21"), kNone, 0},
    Row{'s', Sub::OneOf, "1", "A-18", true, types("0-7, 9-19, 26-29, 34"), types("21, 22"), kNone, 0},
    Row{'s', Sub::OneOf, "2", "A-19", true, types("0-7, 9-19, 26-29, 34"), types("20, 22"), kNone, 0},
    Row{'s', Sub::OneOf, "3", "A-20", true, types("0-7, 9-19, 26-29, 34"), types("20, 21"), kNone, 0},
    Row{'z', Sub::OneOf, "1", "A-21", true, types("0-7, 9-22, 29, 34"), types("27, 28"), kNone, 0},
    Row{'z', Sub::OneOf, "2", "A-22", true, types("0-7, 9-22, 29, 34"), types("26, 28"), kNone, 0},
    Row{'z', Sub::OneOf, "3", "A-23", true, types("0-7, 9-22, 29, 34"), types("26, 27"), kNone, 0},
    Row{'Z', Sub::OneOf, "123", "C-04", true, types("0-7, 9-22, 26-29, 33, 34, 40"), kNone, kNone, 0},
    Row{'Z', Sub::OneOf, "456", "C-10", true, types("0-7, 9-22, 26-30, 33, 34, 40"), kNone, kNone, 0},
    Row{'Z', Sub::OneOf, "789", "C-11", true, types("0-7, 9-22, 26-30, 33, 34, 40"), kNone, kNone, 0},
    Row{'Z', Sub::OneOf, "L", "C-05", true, types("0-7, 9-22, 26-30, 34, 40"), kNone, kNone, 0},
    // These PLCs are never compared with the project.
    Row{'P', Sub::OneOf, "1", "C-12", true, kNone, kNone, kNone, 0},
    Row{'P', Sub::OneOf, "2", "C-13", true, kNone, kNone, kNone, 0},
    Row{'P', Sub::OneOf, "3", "C-14", true, kNone, kNone, kNone, 0},
    Row{'P', Sub::OneOf, "A", "C-12-EIP", true, kNone, kNone, kNone, 0},
    Row{'P', Sub::OneOf, "B", "C-13-EIP", true, kNone, kNone, kNone, 0},
    Row{'P', Sub::OneOf, "C", "C-14-EIP", true, kNone, kNone, kNone, 0},
};
// clang-format on

bool subMatches(const Row& row, std::uint8_t sub) {
    switch (row.sub) {
    case Sub::Any:
        return true;
    case Sub::HighNibble:
        return (sub >> 4) == static_cast<unsigned>(row.subCodes[0] - '0');
    case Sub::OneOf:
        return row.subCodes.find(static_cast<char>(sub)) != std::string_view::npos;
    }
    return false;
}

bool inSet(std::uint64_t set, CpuType type) { return type < 64 && ((set >> type) & 1u) != 0; }

// PLCs without a project type of their own name take the projects of their family whose
// siblings the row refuses: C-08 refuses C-01 and C-06 and takes C-02 and C-03, C-09 the
// other way round (all four share one address layout).
struct TakenTypes {
    std::string_view label;
    std::uint64_t types;
};
constexpr std::array kTakenTypes{
    TakenTypes{"C-08", types("14, 29")},
    TakenTypes{"C-09", types("10, 34")},
};

bool isOwnType(const Row& row, CpuType projectCpuType) {
    for (const TakenTypes& t : kTakenTypes) {
        if (t.label == row.label) {
            return inSet(t.types, projectCpuType);
        }
    }
    return CpuTypeTable::parse(row.label) == projectCpuType;
}

// A project type the row does not name and that is not the PLC's own. Rows that name no type
// at all are never compared, and a connection without a project type (status, device memory
// detection) compares nothing.
bool comparedUnnamed(const Row& row, CpuType projectCpuType) {
    if (projectCpuType == kNoCpuType || (row.refused | row.refusedWarning | row.warned) == 0) {
        return false;
    }
    return !isOwnType(row, projectCpuType);
}

} // namespace

PlcIdentityMatch PlcIdentification::identify(std::uint16_t identityWord, CpuType projectCpuType) {
    const auto code = static_cast<std::uint8_t>(identityWord >> 8);
    const auto sub = static_cast<std::uint8_t>(identityWord & 0xFF);
    PlcIdentityMatch result;
    for (const Row& row : kRows) {
        if (row.code != code) {
            continue;
        }
        result.known = true;
        if (!subMatches(row, sub)) {
            continue;
        }
        result.listed = true;
        result.label = std::string(row.label);
        result.plcText = "\n\nPLC CPU Type : " + result.label + (row.trailingSpace ? " " : "");
        if (inSet(row.refused, projectCpuType)) {
            result.match = CpuMatch::Refused;
        } else if (inSet(row.refusedWarning, projectCpuType)) {
            result.match = CpuMatch::RefusedWarning;
        } else if (inSet(row.warned, projectCpuType)) {
            result.match = CpuMatch::Warned;
        } else if (comparedUnnamed(row, projectCpuType)) {
            result.match = CpuMatch::Asked;
        }
        return result;
    }
    return result;
}

PasswordScheme PlcIdentification::passwordScheme(std::uint8_t cpuCode, std::uint32_t firmware) {
    for (const Row& row : kRows) {
        if (row.code == cpuCode) {
            return firmware >= row.exchangeFrom ? PasswordScheme::Exchange
                                                : PasswordScheme::StoredCheck;
        }
    }
    return PasswordScheme::Exchange;
}

std::string PlcIdentification::projectText(CpuType projectCpuType) {
    return "\nProject CPU Type : " + std::string(CpuTypeTable::displayName(projectCpuType));
}

} // namespace dlu
