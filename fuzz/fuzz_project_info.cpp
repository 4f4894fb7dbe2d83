// Project information reader: INI text with the record in hexadecimal and its check byte.
#include "package/ProjectInfo.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto record = dlu::parseProjectInfoIni(text)) {
        const dlu::ProjectInfo info(*record);
        // Whatever the record holds, readers stay inside it.
        std::size_t total = info.projectName().size();
        if (info.programCount() > dlu::ProjectInfo::kMaxPrograms) {
            std::abort();
        }
        for (std::size_t i = 0; i < info.programCount(); ++i) {
            total += info.program(i).nameText().size();
            if (info.program(i).nameText().size() > dlu::ProgramEntry::kNameSize) {
                std::abort();
            }
        }
        (void)total;
    }
    return 0;
}
