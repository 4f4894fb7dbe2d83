#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace dlu {

// Small stateless helpers shared by the session, the decryption and the package reader.
class CCommonFunction {
public:
    // Result codes of the bounded copies.
    static constexpr int kCopyDone = 1;
    static constexpr int kCopyTooSmall = 2;

    // Kind number of a project file from its extension: the text after the last '.', or the
    // whole name when there is none. Exact, case-sensitive comparison; 0 for anything unknown.
    static unsigned fileKindNumber(std::string_view fileName);

    // Copies bytes 0..n of `source` (n + 1 bytes, the last normally the terminating zero)
    // into `dest`. n == 0 makes `dest` an empty text. Returns kCopyDone, or kCopyTooSmall as
    // soon as an index reaches the destination size (what was copied so far stays). So a
    // destination of exactly n + 1 bytes receives everything and still reports kCopyTooSmall.
    // Bytes the source does not hold are taken as zero: nothing reads past `source`.
    static int copyBytes(std::span<std::uint8_t> dest, std::span<const std::uint8_t> source,
                         std::size_t n);

    // The same contract for a text: its characters, then its terminating zero.
    static int copyText(std::span<char> dest, std::string_view text);
};

} // namespace dlu
