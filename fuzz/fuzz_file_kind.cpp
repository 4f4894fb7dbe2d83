// Header check, link layout choice and PBT / link file mapping on arbitrary bytes.
#include "package/FileKind.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    // The first byte picks a CPU type, the next two an extension length; the rest is the file.
    const auto cpu = static_cast<dlu::CpuType>(data[0] % 48);
    const std::size_t extLength = data[1] % 8;
    std::span<const std::uint8_t> rest(data + 2, size - 2);
    const std::size_t n = extLength < rest.size() ? extLength : rest.size();
    const std::string_view ext(reinterpret_cast<const char*>(rest.data()), n);
    rest = rest.subspan(n);

    for (const auto& kind : {dlu::lookupFileKindA(ext), dlu::lookupFileKindB(ext)}) {
        const std::size_t h = kind.headerSize < rest.size() ? kind.headerSize : rest.size();
        (void)dlu::HeaderMatches(rest.first(h), kind);
    }
    (void)dlu::pathExtension(ext);
    (void)dlu::chooseLinkLayout(rest.first(rest.size() < 100 ? rest.size() : 100));

    const dlu::LinkFileMap map = dlu::mapLinkFile(rest, cpu);
    for (const dlu::LinkProgram& p : map.programs) {
        if (p.used && (p.offset > rest.size() || p.size > rest.size() - p.offset)) {
            std::abort(); // a mapped program must lie inside the file
        }
    }
    return 0;
}
