#include "devmem/AtomicFile.h"

#include <cstdio>
#include <system_error>

#include <unistd.h>

namespace dlu {

bool replaceFileAtomically(const std::filesystem::path& target,
                           std::span<const std::uint8_t> bytes) {
    std::filesystem::path temp = target;
    temp += ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = ::fsync(::fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temp, target, ec);
        ok = !ec;
    }
    if (!ok) {
        std::filesystem::remove(temp, ec);
    }
    return ok;
}

} // namespace dlu
