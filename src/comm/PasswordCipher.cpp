#include "comm/PasswordCipher.h"

#include "common/Crypto.h"

#include <algorithm>

namespace dlu {

namespace {

constexpr std::string_view kPassphrase = "MOZKAR";

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// "[COnlineModule::Encrypt]CryptHashData Fail": the text that names a failed step.
void fail(std::string* failedStep, std::string_view who, std::string_view step) {
    if (failedStep != nullptr) {
        *failedStep = "[COnlineModule::" + std::string(who) + "]" + std::string(step) + " Fail";
    }
}

} // namespace

std::uint8_t PasswordCipher::checksum(std::span<const std::uint8_t, 16> block) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < 15; ++i) {
        sum += block[i];
    }
    return static_cast<std::uint8_t>(sum & 0xFF);
}

bool PasswordCipher::hasStoredPassword(const PasswordBlock& stored) {
    return stored[0] != 0 && stored[15] == checksum(stored);
}

std::string PasswordCipher::fitted(std::string_view typed, std::size_t maxBytes) {
    if (typed.size() <= maxBytes) {
        return std::string(typed);
    }
    std::size_t cut = maxBytes;
    // Bytes 10xxxxxx continue a character: step back to the byte that starts it.
    while (cut > 0 && (static_cast<unsigned char>(typed[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return std::string(typed.substr(0, cut));
}

PasswordBlock PasswordCipher::plain(std::string_view password) {
    const auto text = password.substr(0, kMaxLength);
    PasswordBlock block{};
    block[0] = static_cast<std::uint8_t>(text.size());
    std::copy(text.begin(), text.end(), block.begin() + 1);
    block[15] = checksum(block);
    return block;
}

std::optional<PasswordBlock> PasswordCipher::withKey(std::span<const std::uint8_t> key,
                                                     std::string_view password,
                                                     std::string_view who,
                                                     std::string* failedStep) const {
    PasswordBlock block = plain(password);
    const std::size_t length = block[0];
    if (!crypto_->rc4(key, std::span(block).subspan(1, length))) {
        fail(failedStep, who, "CryptEncrypt");
        return std::nullopt;
    }
    block[15] = checksum(block);
    return block;
}

std::optional<PasswordBlock> PasswordCipher::encrypt(std::string_view password,
                                                     std::string* failedStep) const {
    constexpr std::string_view kWho = "Encrypt";
    if (crypto_ == nullptr) {
        return std::nullopt;
    }
    const auto digest = crypto_->md5(bytesOf(kPassphrase));
    if (!digest) {
        fail(failedStep, kWho, "CryptHashData");
        return std::nullopt;
    }
    std::array<std::uint8_t, 16> key{};
    std::copy_n(digest->begin(), 5, key.begin()); // a 40-bit key, zero-filled to 128 bits
    return withKey(key, password, kWho, failedStep);
}

std::optional<PasswordBlock> PasswordCipher::encryptOld(std::string_view password,
                                                        std::string* failedStep) const {
    constexpr std::string_view kWho = "EncryptOld";
    if (crypto_ == nullptr) {
        return std::nullopt;
    }
    const auto digest = crypto_->sha1(bytesOf(kPassphrase));
    if (!digest) {
        fail(failedStep, kWho, "CryptHashData");
        return std::nullopt;
    }
    return withKey(std::span(*digest).first(16), password, kWho, failedStep);
}

} // namespace dlu
