#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dlu {

class Crypto;

// The 16-byte password block: length, up to 14 password bytes (encrypted or plain) padded
// with zeros, and a checksum (sum of bytes 0 to 14, modulo 256).
using PasswordBlock = std::array<std::uint8_t, 16>;

// Builds password blocks in the three forms the PLCs know. The current and the older form
// encrypt the password bytes with RC4 under keys derived from a fixed passphrase; the plain
// form carries them as typed.
class PasswordCipher {
public:
    static constexpr std::size_t kMaxLength = 14;

    // `crypto` may be null: every encrypted form then fails.
    explicit PasswordCipher(const Crypto* crypto) : crypto_(crypto) {}

    // Nothing when a step fails; `failedStep` (when given) then names the step in the text
    // the session shows, or stays empty when there is no library at all. A block is never
    // made from a failed digest or cipher call.
    // RC4 keyed with the first 5 bytes of MD5 of the passphrase and 11 zero bytes.
    std::optional<PasswordBlock> encrypt(std::string_view password,
                                         std::string* failedStep = nullptr) const;
    // RC4 keyed with the first 16 bytes of SHA-1 of the passphrase.
    std::optional<PasswordBlock> encryptOld(std::string_view password,
                                            std::string* failedStep = nullptr) const;
    static PasswordBlock plain(std::string_view password);

    // The password as typed, cut to at most `maxBytes` bytes (the PLC counts bytes): a UTF-8
    // character that would not fit whole is left out rather than split.
    static std::string fitted(std::string_view typed, std::size_t maxBytes = kMaxLength);

    static std::uint8_t checksum(std::span<const std::uint8_t, 16> block);
    // Byte 0 not 0 and the checksum right: the PLC has a stored password.
    static bool hasStoredPassword(const PasswordBlock& stored);

private:
    std::optional<PasswordBlock> withKey(std::span<const std::uint8_t> key,
                                         std::string_view password, std::string_view who,
                                         std::string* failedStep) const;
    const Crypto* crypto_;
};

} // namespace dlu
