#pragma once

#include "common/Crypto.h"
#include "common/Prompter.h"
#include "common/StringTable.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace dlu {

namespace fileio {
class ReadFile;
}

// Decrypts project files and packages in place. The programming tool encrypts them with one
// of two fixed-passphrase schemes: the current one (AES-128-CBC) and the older one (RC4).
// This program never encrypts. Whether a decryption worked is judged by the file's header
// text afterwards (see FileKind.h).
class CFileEncryption {
public:
    // Gives a crypto context for one decryption; nullptr when the library cannot be set up.
    using CryptoOpener = dlu::CryptoOpener;

    // Scheme selectors of DecryptFile.
    static constexpr std::uint16_t kOlderScheme = 0;
    static constexpr std::uint16_t kCurrentSchemeWithMessages = 1;

    // Results of CheckFileKind.
    static constexpr std::uint8_t kKindMatches = 3;
    static constexpr std::uint8_t kKindMismatch = 255;

    // Working copies carry this suffix; only such files are ever deleted as buffer copies.
    static constexpr std::string_view kBufferSuffix = "BUFF";

    // Texts that are not in the string table.
    static constexpr std::string_view kReadErrorText =
        "Decryption Message - PLC Project File Error";

    // `platformHasSha2` false selects the SHA-1 key derivation for the current scheme, as the
    // tool did on platforms without SHA-2; every platform we build for has SHA-2.
    CFileEncryption(Prompter& prompter, const Messages& messages,
                    CryptoOpener openCrypto = &Crypto::open, bool platformHasSha2 = true);

    // Decrypts the file in place with the older scheme (selector 0) or the current scheme
    // (any other selector; 1 also turns messages on). A missing file is left alone. Writes
    // whatever the decryption gives: only the header check of DecryptChecked judges it.
    // True when the cipher ran over the whole file and the result was written; false when
    // the file was left as it was (missing, unreadable, no cryptography, or for the current
    // scheme a length that is no whole number of cipher blocks: not encrypted with it).
    bool DecryptFile(const std::string& path, std::uint16_t selector);

    // True when the file ends plain: it already was, or one of the schemes (current first)
    // gave it its header text. A failed file is left byte for byte and time as it was.
    bool DecryptChecked(const std::string& path);

    // Copies the file to path + "BUFF", decrypts the copy if it can and returns its path.
    std::string MakeDecryptedCopy(const std::string& path);

    // kKindMatches when the file is, or decrypts to, a file of the kind its extension names;
    // kKindMismatch otherwise (also for missing files and unknown extensions). The file
    // itself is never changed.
    std::uint8_t CheckFileKind(const std::string& path);

    // Deletes a buffer copy: only paths ending in "BUFF", in any letter case.
    void DeleteBufferFile(const std::string& path);

    // Key derivation of the two schemes, from the 23-byte passphrases; nothing when a digest
    // fails.
    static std::optional<Aes128Key> currentSchemeKey(const Crypto& crypto, bool sha2);
    static std::optional<Aes128Key> olderSchemeKey(const Crypto& crypto);
    // The documented rule for an AES-128 key from a SHA-1 digest: two 64-byte buffers of
    // 0x36 and 0x5C with the digest XORed in, each hashed, the key from the joined digests.
    static std::optional<Aes128Key> aes128KeyFromSha1(const Crypto& crypto,
                                                      const Sha1Digest& digest);

    // The current scheme decrypts a file in pieces of this size, so memory stays bounded.
    static constexpr std::size_t kDecryptPiece = std::size_t{1} << 20;
    // The older scheme (RC4 in one call) reads a file whole: files above this size are left
    // as they are, so that memory stays bounded for it too.
    static constexpr std::uint64_t kMaxOlderSchemeFile = std::uint64_t{32} << 20;

    // Passphrases (ASCII, hashed without a terminating zero).
    static constexpr std::string_view kCurrentPassphrase = "ZXCVBNMASDFGHJK20991130";
    static constexpr std::string_view kOlderPassphrase = "HBVNMQWERTPLKJZ20991231";

private:
    const Crypto* crypto();
    void reportNoCrypto();
    bool decryptCheckedLocked(const std::string& path);
    bool decryptCurrent(const Crypto& lib, const std::string& path, fileio::ReadFile& in);
    bool decryptOlder(const Crypto& lib, const std::string& path, fileio::ReadFile& in);

    Prompter& prompter_;
    const Messages& messages_;
    CryptoOpener openCrypto_;
    bool platformHasSha2_;
    std::unique_ptr<Crypto> crypto_;
    std::recursive_mutex lock_;
};

} // namespace dlu
