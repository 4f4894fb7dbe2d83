#include "package/CFileEncryption.h"

#include "common/CCommonFunction.h"
#include "common/MessageIds.h"
#include "package/EncryptionErrorText.h"
#include "package/FileIo.h"
#include "package/FileKind.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>

#include <unistd.h>

namespace dlu {

namespace {

// File kind number of the special program files whose stored length is cut after the
// current scheme's decryption.
constexpr unsigned kSpecialProgramKind = 5;

std::span<const std::uint8_t> asBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool endsWithNoCase(std::string_view text, std::string_view tail) {
    if (text.size() < tail.size()) {
        return false;
    }
    const std::string_view end = text.substr(text.size() - tail.size());
    return std::equal(end.begin(), end.end(), tail.begin(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) ==
               std::toupper(static_cast<unsigned char>(b));
    });
}

// The header of a file as the kind check reads it: a cleared buffer with the first
// header-size bytes of the file (fewer if it is shorter). Nothing when it cannot be read.
std::optional<std::array<std::uint8_t, kMaxHeaderSize>> readHeader(const std::string& path,
                                                                   const FileKindDescriptor& kind) {
    std::array<std::uint8_t, kMaxHeaderSize> header{};
    const std::size_t size = std::min<std::size_t>(kind.headerSize, kMaxHeaderSize);
    const auto bytes = fileio::readPrefix(path, size);
    if (!bytes) {
        return std::nullopt;
    }
    std::copy(bytes->begin(), bytes->end(), header.begin());
    return header;
}

bool headerMatchesFile(const std::string& path, const FileKindDescriptor& kind) {
    const auto header = readHeader(path, kind);
    if (!header) {
        return false;
    }
    const std::size_t size = std::min<std::size_t>(kind.headerSize, kMaxHeaderSize);
    return HeaderMatches(std::span(*header).first(size), kind);
}

// Special program data carries its true length in bytes 112 to 115 (big-endian; the upper
// half only when byte 102 is 18). Returns the number of bytes to keep (the caller never
// writes more than were decrypted) and clears the length bytes.
std::uint64_t specialProgramLength(std::span<std::uint8_t> data) {
    constexpr std::size_t kLengthEnd = 116;
    if (data.size() < kLengthEnd || (data[114] == 0 && data[115] == 0)) {
        return UINT64_MAX;
    }
    const bool wide = data[102] == 18;
    std::uint64_t length = (std::uint64_t{data[114]} << 8) | data[115];
    if (wide) {
        length |= (std::uint64_t{data[112]} << 24) | (std::uint64_t{data[113]} << 16);
        data[112] = 0;
        data[113] = 0;
    }
    data[114] = 0;
    data[115] = 0;
    return length;
}

} // namespace

CFileEncryption::CFileEncryption(Prompter& prompter, const Messages& messages,
                                 CryptoOpener openCrypto, bool platformHasSha2)
    : prompter_(prompter), messages_(messages), openCrypto_(std::move(openCrypto)),
      platformHasSha2_(platformHasSha2) {}

const Crypto* CFileEncryption::crypto() {
    // Setting up the library context costs more than decrypting a small file; keep it once
    // it works, and try again next time when it did not.
    if (!crypto_ && openCrypto_) {
        crypto_ = openCrypto_();
    }
    return crypto_.get();
}

void CFileEncryption::reportNoCrypto() {
    const PromptAnswer answer = prompter_.message(messages_(Msg::CryptoUnavailable),
                                                  PromptButtons::YesNo, PromptIcon::Stop);
    if (answer == PromptAnswer::Yes) {
        prompter_.encryptionErrorNotice(encryptionErrorText(messages_.language()));
    }
}

std::optional<Aes128Key> CFileEncryption::aes128KeyFromSha1(const Crypto& crypto,
                                                            const Sha1Digest& digest) {
    std::array<std::uint8_t, 64> inner{};
    std::array<std::uint8_t, 64> outer{};
    inner.fill(0x36);
    outer.fill(0x5C);
    for (std::size_t i = 0; i < digest.size(); ++i) {
        inner[i] ^= digest[i];
        outer[i] ^= digest[i];
    }
    const auto a = crypto.sha1(inner);
    const auto b = crypto.sha1(outer);
    if (!a || !b) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 40> joined{};
    std::copy(a->begin(), a->end(), joined.begin());
    std::copy(b->begin(), b->end(), joined.begin() + 20);
    Aes128Key key{};
    std::copy_n(joined.begin(), key.size(), key.begin());
    return key;
}

std::optional<Aes128Key> CFileEncryption::currentSchemeKey(const Crypto& crypto, bool sha2) {
    if (sha2) {
        const auto digest = crypto.sha512(asBytes(kCurrentPassphrase));
        if (!digest) {
            return std::nullopt;
        }
        Aes128Key key{};
        std::copy_n(digest->begin(), key.size(), key.begin());
        return key;
    }
    const auto digest = crypto.sha1(asBytes(kCurrentPassphrase));
    return digest ? aes128KeyFromSha1(crypto, *digest) : std::nullopt;
}

std::optional<Aes128Key> CFileEncryption::olderSchemeKey(const Crypto& crypto) {
    const auto digest = crypto.sha1(asBytes(kOlderPassphrase));
    if (!digest) {
        return std::nullopt;
    }
    Aes128Key key{};
    std::copy_n(digest->begin(), key.size(), key.begin());
    return key;
}

bool CFileEncryption::DecryptFile(const std::string& path, std::uint16_t selector) {
    if (!fileio::exists(path)) {
        return false;
    }
    const bool current = selector != kOlderScheme;
    const bool messagesOn = selector == kCurrentSchemeWithMessages;

    // The file is read in pieces through a descriptor opened before it is replaced, so that
    // memory stays bounded whatever its size; the new file is never written through a link.
    fileio::ReadFile in(path);
    if (!in.ok()) {
        if (current && messagesOn) {
            prompter_.message(kReadErrorText);
        }
        return false;
    }

    const Crypto* lib = crypto();
    if (lib == nullptr) {
        if (!current || messagesOn) {
            reportNoCrypto();
        }
        return false;
    }
    return current ? decryptCurrent(*lib, path, in) : decryptOlder(*lib, path, in);
}

bool CFileEncryption::decryptCurrent(const Crypto& lib, const std::string& path,
                                     fileio::ReadFile& in) {
    // Ciphertext of this scheme is always whole blocks; other files are left as they were.
    // A wrong key is not noticed here: the header check judges the result.
    constexpr std::size_t kBlock = 16;
    const std::uint64_t size = in.size();
    const auto key = currentSchemeKey(lib, platformHasSha2_);
    if (size % kBlock != 0 || !key) {
        return false;
    }
    const bool special =
        CCommonFunction::fileKindNumber(path) == kSpecialProgramKind || endsWith(path, "SPCBUFF");

    // Delete and create anew, as the tool does; a file that cannot be recreated is then
    // missing, which DecryptChecked notices and answers from its attempt backup.
    fileio::removeFile(path);
    fileio::NewFile out(path);
    if (!out.ok()) {
        return false;
    }
    // CBC runs on in pieces: each piece's IV is the last cipher block of the one before.
    // Padding is only looked for at the very end of the file.
    std::vector<std::uint8_t> piece(kDecryptPiece);
    Aes128Iv iv{};
    std::uint64_t done = 0;
    std::uint64_t limit = UINT64_MAX; // the special program's stored length, once read
    while (done < size) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, piece.size()));
        const std::span<std::uint8_t> data(piece.data(), n);
        if (!in.read(data)) {
            out.discard();
            return false;
        }
        Aes128Iv next{};
        std::copy(data.end() - kBlock, data.end(), next.begin());
        const auto plain = lib.aes128CbcDecrypt(*key, iv, data);
        if (!plain) {
            out.discard();
            return false;
        }
        iv = next;
        const bool last = done + n == size;
        std::span<std::uint8_t> keep = data.first(last ? *plain : n);
        if (special && done == 0) {
            limit = specialProgramLength(keep);
        }
        const std::uint64_t room = limit > done ? limit - done : 0;
        keep = keep.first(static_cast<std::size_t>(std::min<std::uint64_t>(keep.size(), room)));
        if (!out.write(keep)) {
            out.discard();
            return false;
        }
        done += n;
    }
    return out.close();
}

bool CFileEncryption::decryptOlder(const Crypto& lib, const std::string& path,
                                   fileio::ReadFile& in) {
    // RC4 runs over the file in one call: a file of this scheme is read whole, so only one
    // up to the bound is decrypted; a larger one is left as it was.
    if (in.size() > kMaxOlderSchemeFile) {
        return false;
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(in.size()));
    const auto key = olderSchemeKey(lib);
    if (!in.read(data) || !key || !lib.rc4(*key, data)) {
        return false;
    }
    fileio::removeFile(path);
    return fileio::writeAll(path, data);
}

bool CFileEncryption::DecryptChecked(const std::string& path) {
    const std::lock_guard guard(lock_);
    return decryptCheckedLocked(path);
}

bool CFileEncryption::decryptCheckedLocked(const std::string& path) {
    if (!fileio::isRegularFile(path)) {
        return false;
    }
    const FileKindDescriptor kind = lookupFileKindA(pathExtension(path));
    if (headerMatchesFile(path, kind)) {
        return true;
    }

    const fileio::SavedStatus status = fileio::SavedStatus::of(path);
    // The attempt backup is a second name for the file's content where the file system
    // allows it: every decryption writes a new file, so the backup costs no disk.
    const std::string backup = path + std::string(kBufferSuffix);
    fileio::removeFile(backup);
    if (::link(path.c_str(), backup.c_str()) != 0 && !fileio::copyFile(path, backup)) {
        return false;
    }

    bool result = false;
    for (const std::uint16_t selector : {kCurrentSchemeWithMessages, kOlderScheme}) {
        DecryptFile(path, selector);
        if (!fileio::isRegularFile(path)) {
            return false; // the content survives in the attempt backup
        }
        if (headerMatchesFile(path, kind)) {
            result = true;
            break;
        }
        fileio::removeFile(path);
        if (!fileio::copyFile(backup, path)) {
            return false;
        }
    }
    fileio::removeFile(backup);
    status.restore(path);
    return result;
}

std::string CFileEncryption::MakeDecryptedCopy(const std::string& path) {
    const std::string copy = path + std::string(kBufferSuffix);
    if (fileio::copyFile(path, copy)) {
        fileio::SavedStatus::of(path).restore(copy);
        DecryptChecked(copy); // a copy that cannot be decrypted stays as it was
    }
    return copy;
}

std::uint8_t CFileEncryption::CheckFileKind(const std::string& path) {
    const std::lock_guard guard(lock_);
    if (!fileio::isRegularFile(path)) {
        return kKindMismatch;
    }
    const FileKindDescriptor kind = lookupFileKindB(pathExtension(path));
    if (kind.empty()) {
        return kKindMismatch;
    }
    // The decrypted copy is the customer's project in clear: it goes to a private folder of
    // its own, never beside the file, and is gone when the check ends.
    // Its owner file lets the next start remove it should this run be killed meanwhile.
    int lock = -1;
    const std::optional<std::string> folder =
        fileio::makePrivateFolder("dlutil-kind-XXXXXX", &lock);
    if (!folder) {
        return kKindMismatch;
    }
    const std::string copy = *folder + "/" + std::filesystem::path(path).filename().string() +
                             std::string(kBufferSuffix);
    bool matches = false;
    if (fileio::copyToNewFile(path, copy)) {
        decryptCheckedLocked(copy);
        matches = headerMatchesFile(copy, kind);
    }
    std::error_code ec;
    std::filesystem::remove_all(*folder, ec);
    ::close(lock);
    return matches ? kKindMatches : kKindMismatch;
}

void CFileEncryption::DeleteBufferFile(const std::string& path) {
    if (endsWithNoCase(path, kBufferSuffix) && fileio::isRegularFile(path)) {
        fileio::removeFile(path);
    }
}

} // namespace dlu
