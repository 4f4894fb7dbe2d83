#pragma once

#include <iosfwd>
#include <string>

namespace dlu {

// dlutil pdm diff A.PDM B.PDM [--area A] [--json]: the words that differ, one line each
// ("D00100  1234 -> 1240"). Exit 0 when equal, 1 when not, 2 when a file cannot be used.
struct PdmDiffOptions {
    std::string first;
    std::string second;
    std::string area; // a letter; empty: every area
    bool json = false;
};
int runPdmDiff(const PdmDiffOptions& options, std::ostream& out, std::ostream& err);

// dlutil pdm export FILE.PDM --csv [--area A]: the words as CSV on standard output.
struct PdmExportOptions {
    std::string file;
    std::string area;
    bool csv = false;
};
int runPdmExport(const PdmExportOptions& options, std::ostream& out, std::ostream& err);

// dlutil pdm import FILE.CSV -o FILE.PDM --cpu CODE: a ".PDM" file from CSV rows. A refused
// row is reported with its line number and nothing is written.
struct PdmImportOptions {
    std::string file;
    std::string output;
    std::string cpu;
};
int runPdmImport(const PdmImportOptions& options, std::ostream& out, std::ostream& err);

} // namespace dlu
