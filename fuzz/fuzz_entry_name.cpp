// Archive entry name check: no accepted name may lead out of the unpack folder.
#include "package/ArchiveEntryName.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const auto path = dlu::safeEntryPath(name);
    if (!path) {
        return 0;
    }
    if (path->empty() || path->front() == '/' || path->find('\\') != std::string::npos ||
        path->find(':') != std::string::npos || path->find('\0') != std::string::npos) {
        std::abort();
    }
    // No ".." part anywhere.
    std::size_t start = 0;
    while (start <= path->size()) {
        std::size_t end = path->find('/', start);
        if (end == std::string::npos) {
            end = path->size();
        }
        if (path->compare(start, end - start, "..") == 0) {
            std::abort();
        }
        start = end + 1;
    }
    return 0;
}
