#include "package/CFileEncryption.h"

#include "common/CCommonFunction.h"
#include "common/MessageIds.h"
#include "package/EncryptionErrorText.h"
#include "package/FileIo.h"
#include "package/FileKind.h"

#include <algorithm>
#include <cctype>
#include <span>

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
// half only when byte 102 is 18). Returns the number of bytes to write and clears the
// length bytes; never more than the decrypted bytes.
std::size_t cutSpecialProgram(std::span<std::uint8_t> data) {
    constexpr std::size_t kLengthEnd = 116;
    if (data.size() < kLengthEnd || (data[114] == 0 && data[115] == 0)) {
        return data.size();
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
    return static_cast<std::size_t>(std::min<std::uint64_t>(length, data.size()));
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
        prompter_.message(encryptionErrorText(messages_.language()), PromptButtons::Ok,
                          PromptIcon::Stop);
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

    auto data = fileio::readAll(path);
    if (!data) {
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

    std::size_t length = data->size();
    if (current) {
        // A wrong key is not noticed here: the header check judges the result. Ciphertext
        // of this scheme is always whole blocks; other bytes are left as they were.
        const Aes128Iv zeroIv{};
        const auto key = currentSchemeKey(*lib, platformHasSha2_);
        const auto plain = key ? lib->aes128CbcDecrypt(*key, zeroIv, *data) : std::nullopt;
        if (!plain) {
            return false;
        }
        length = *plain;
    } else {
        const auto key = olderSchemeKey(*lib);
        if (!key || !lib->rc4(*key, *data)) {
            return false;
        }
    }

    std::span<std::uint8_t> out(data->data(), length);
    if (current && (CCommonFunction::fileKindNumber(path) == kSpecialProgramKind ||
                    endsWith(path, "SPCBUFF"))) {
        out = out.first(cutSpecialProgram(out));
    }

    // Delete and create anew, as the tool does; a file that cannot be recreated is then
    // missing, which DecryptChecked notices and answers from its attempt backup.
    fileio::removeFile(path);
    return fileio::writeAll(path, out);
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
    const std::string backup = path + std::string(kBufferSuffix);
    if (!fileio::copyFile(path, backup)) {
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
    const std::string copy = path + std::string(kBufferSuffix);
    if (!fileio::copyFile(path, copy)) {
        fileio::removeFile(copy);
        return kKindMismatch;
    }
    const FileKindDescriptor kind = lookupFileKindB(pathExtension(path));
    if (kind.empty()) {
        fileio::removeFile(copy);
        return kKindMismatch;
    }
    decryptCheckedLocked(copy);
    const bool matches = headerMatchesFile(copy, kind);
    fileio::removeFile(copy);
    return matches ? kKindMatches : kKindMismatch;
}

void CFileEncryption::DeleteBufferFile(const std::string& path) {
    if (endsWithNoCase(path, kBufferSuffix) && fileio::isRegularFile(path)) {
        fileio::removeFile(path);
    }
}

} // namespace dlu
