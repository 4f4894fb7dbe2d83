// ST program table: entries from the start of ".STL" files, several files per input.
#include "package/StProgramTable.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dlu::StProgramTable table;
    std::span<const std::uint8_t> rest(data, size);
    // Each file: one length byte, then that many bytes.
    while (!rest.empty()) {
        const std::size_t n = rest[0] < rest.size() - 1 ? rest[0] : rest.size() - 1;
        table.addStl(rest.subspan(1, n));
        rest = rest.subspan(1 + n);
    }
    for (std::size_t i = 0; i < dlu::StProgramTable::kEntryCount; ++i) {
        if (table.present(i) &&
            (table.entry(i).pid != i || table.entry(i).nameText().size() > 32)) {
            std::abort();
        }
    }
    return 0;
}
