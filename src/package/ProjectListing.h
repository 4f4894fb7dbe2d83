#pragma once

#include "common/StringTable.h"
#include "package/ProjectInfo.h"
#include "package/StProgramTable.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dlu {

// One row of the program list as the main dialog and dlutil show it.
struct ProgramListRow {
    bool st = false;        // a row of the ST program table
    unsigned rowNumber = 0; // from 1
    unsigned pid = 0;       // PID, or the ST program number
    unsigned kind = 0;      // program kind 1 to 7; 0 for ST rows
    std::string name;
    std::string kindName; // empty for kinds without a name

    std::string rowText() const; // "%3d"
    std::string pidText() const; // "%03d", or "ST%03d" for ST rows
};

// The programs of the project information in their order, then, for a Linux-family project,
// the present entries of the ST table in the order of their numbers.
std::vector<ProgramListRow> programListRows(const ProjectInfo& info, const StProgramTable& st,
                                            const Messages& messages);

// Name of a program kind 1 to 7 in the run's language; empty for other kinds.
std::string programKindName(unsigned kind, const Messages& messages);

// "1,234,567 Byte".
std::string formatProjectSize(std::uint32_t size);
// "%d Files".
std::string formatProgramCount(unsigned count);

// Everything opening a package shows.
struct PackageContents {
    ProjectInfo info;
    StProgramTable st;
    std::uint32_t projectSize = 0;
};

} // namespace dlu
