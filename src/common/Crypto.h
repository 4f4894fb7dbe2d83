#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace dlu {

using Md5Digest = std::array<std::uint8_t, 16>;
using Sha1Digest = std::array<std::uint8_t, 20>;
using Sha512Digest = std::array<std::uint8_t, 64>;
using Aes128Key = std::array<std::uint8_t, 16>;
using Aes128Iv = std::array<std::uint8_t, 16>;

// The published algorithms the program needs (project file decryption, connection password).
// A port: the program is handed one and every step answers whether it worked, so that a
// failing library call can never pass for a result. The implementation on OpenSSL 3 (open())
// loads RC4 and MD5 from OpenSSL's "legacy" provider into a library context of its own: the
// process-wide default context is never touched, so nothing else in the process starts to
// accept legacy algorithms because of us.
class Crypto {
public:
    // A ready context, or nullptr when the library cannot give us every algorithm (no legacy
    // provider installed, say). Callers show their own message for that case.
    static std::unique_ptr<Crypto> open();

    virtual ~Crypto() = default;
    Crypto(const Crypto&) = delete;
    Crypto& operator=(const Crypto&) = delete;

    // Nothing when the library call fails.
    virtual std::optional<Md5Digest> md5(std::span<const std::uint8_t> data) const = 0;
    virtual std::optional<Sha1Digest> sha1(std::span<const std::uint8_t> data) const = 0;
    virtual std::optional<Sha512Digest> sha512(std::span<const std::uint8_t> data) const = 0;

    // RC4 keystream XORed over `data` in place (encrypting and decrypting are the same).
    // False when the cipher fails; `data` may then be partly changed.
    virtual bool rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) const = 0;

    // AES-128-CBC decryption of whole 16-byte blocks in place. Returns the length of the
    // plain text with PKCS#7 padding removed; when the last block carries no valid padding
    // every decrypted byte is kept. Nothing when the length is not a multiple of 16 (the data
    // is then unchanged) or the cipher fails.
    virtual std::optional<std::size_t> aes128CbcDecrypt(const Aes128Key& key, const Aes128Iv& iv,
                                                        std::span<std::uint8_t> data) const = 0;

protected:
    Crypto() = default;
};

// Gives a crypto port for one user of it; nullptr when the library cannot be set up.
using CryptoOpener = std::function<std::unique_ptr<Crypto>()>;

} // namespace dlu
