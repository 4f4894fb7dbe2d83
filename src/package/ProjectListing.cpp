#include "package/ProjectListing.h"

#include "common/MessageIds.h"
#include "common/TextFormat.h"
#include "plc/CpuTypeTable.h"

namespace dlu {

std::string ProgramListRow::rowText() const {
    return formatText("%3d", static_cast<int>(rowNumber));
}

std::string ProgramListRow::pidText() const {
    return formatText(st ? "ST%03d" : "%03d", static_cast<int>(pid));
}

std::string programKindName(unsigned kind, const Messages& messages) {
    if (kind < 1 || kind > 7) {
        return {};
    }
    return std::string(messages(Msg::ProgramKindBase + static_cast<int>(kind)));
}

std::vector<ProgramListRow> programListRows(const ProjectInfo& info, const StProgramTable& st,
                                            const Messages& messages) {
    std::vector<ProgramListRow> rows;
    unsigned row = 0;
    for (std::size_t i = 0; i < info.programCount(); ++i) {
        const ProgramEntry entry = info.program(i);
        ProgramListRow r;
        r.rowNumber = ++row;
        r.pid = entry.pid;
        r.kind = entry.kind;
        r.name = std::string(entry.nameText());
        r.kindName = programKindName(entry.kind, messages);
        rows.push_back(std::move(r));
    }
    if (CpuTypeTable::hasStPrograms(info.cpuType())) {
        for (std::size_t n = 0; n < StProgramTable::kEntryCount; ++n) {
            if (!st.present(n)) {
                continue;
            }
            ProgramListRow r;
            r.st = true;
            r.rowNumber = ++row;
            r.pid = static_cast<unsigned>(n);
            r.name = std::string(st.entry(n).nameText());
            r.kindName = std::string(messages(Msg::StProgram));
            rows.push_back(std::move(r));
        }
    }
    return rows;
}

std::string formatProjectSize(std::uint32_t size) {
    std::string digits = std::to_string(size);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out + " Byte";
}

std::string formatProgramCount(unsigned count) {
    return formatText("%d Files", static_cast<int>(count));
}

} // namespace dlu
