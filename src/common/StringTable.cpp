#include "common/StringTable.h"

#include <algorithm>

namespace dlu {

std::string_view stringTableEntry(int id) {
    const auto entries = stringTableEntries();
    const auto it = std::lower_bound(entries.begin(), entries.end(), id,
                                     [](const StringEntry& e, int key) { return e.id < key; });
    if (it == entries.end() || it->id != id || it->text == nullptr) {
        return {};
    }
    return it->text;
}

} // namespace dlu
