// Known answers, none produced by our own code: published vectors for the OpenSSL wrapper
// (RFC 1321, FIPS 180, the classic RC4 vectors, NIST SP 800-38A F.2.2), and the password
// blocks and file keys worked out with Python's hashlib and a few lines of RC4, checked
// against the openssl command line (tests/data/known-answers.py).
#include "common/Crypto.h"
#include "comm/PasswordCipher.h"
#include "package/CFileEncryption.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace dlu {
namespace {

std::vector<std::uint8_t> hex(std::string_view h) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2) {
        out.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

std::vector<std::uint8_t> bytes(std::string_view s) { return {s.begin(), s.end()}; }

template <typename A> std::vector<std::uint8_t> vec(const std::optional<A>& a) {
    return a ? std::vector<std::uint8_t>{a->begin(), a->end()} : std::vector<std::uint8_t>{};
}

template <std::size_t N> std::vector<std::uint8_t> vec(const std::array<std::uint8_t, N>& a) {
    return {a.begin(), a.end()};
}

TEST(Crypto, DigestsMatchPublishedVectors) {
    const auto crypto = Crypto::open();
    ASSERT_NE(crypto, nullptr);
    EXPECT_EQ(vec(crypto->md5(bytes("abc"))), hex("900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_EQ(vec(crypto->sha1(bytes("abc"))), hex("a9993e364706816aba3e25717850c26c9cd0d89d"));
    EXPECT_EQ(vec(crypto->sha512(bytes("abc"))),
              hex("ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                  "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"));
}

TEST(Crypto, Rc4MatchesPublishedVectors) {
    const auto crypto = Crypto::open();
    ASSERT_NE(crypto, nullptr);
    struct Case {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    for (const Case& c :
         {Case{"Key", "Plaintext", "bbf316e8d940af0ad3"}, Case{"Wiki", "pedia", "1021bf0420"},
          Case{"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"}}) {
        auto data = bytes(c.plain);
        ASSERT_TRUE(crypto->rc4(bytes(c.key), data));
        EXPECT_EQ(data, hex(c.cipher)) << c.key;
        ASSERT_TRUE(crypto->rc4(bytes(c.key), data)); // the same keystream decrypts
        EXPECT_EQ(data, bytes(c.plain));
    }
}

TEST(Crypto, AesCbcDecryptsNistVectorAndHandlesPadding) {
    const auto crypto = Crypto::open();
    ASSERT_NE(crypto, nullptr);
    Aes128Key key{};
    Aes128Iv iv{};
    const auto k = hex("2b7e151628aed2a6abf7158809cf4f3c");
    const auto v = hex("000102030405060708090a0b0c0d0e0f");
    std::copy(k.begin(), k.end(), key.begin());
    std::copy(v.begin(), v.end(), iv.begin());

    // Two blocks; the plain text's last byte is 0x51, not a padding value: kept whole.
    auto data = hex("7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2");
    const auto n = crypto->aes128CbcDecrypt(key, iv, data);
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(*n, 32u);
    EXPECT_EQ(data, hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"));

    // Not whole blocks: refused, data unchanged.
    auto odd = hex("7649abac8119b246cee98e9b12e919");
    const auto before = odd;
    EXPECT_FALSE(crypto->aes128CbcDecrypt(key, iv, odd).has_value());
    EXPECT_EQ(odd, before);

    // Empty input decrypts to nothing.
    std::vector<std::uint8_t> none;
    EXPECT_EQ(crypto->aes128CbcDecrypt(key, iv, none), std::optional<std::size_t>(0));
}

TEST(Crypto, PasswordBlocksOfTheThreeForms) {
    const auto crypto = Crypto::open();
    ASSERT_NE(crypto, nullptr);
    const PasswordCipher cipher(crypto.get());
    struct Case {
        const char* password;
        const char* current; // RC4, first 5 bytes of MD5("MOZKAR") and 11 zero bytes
        const char* older;   // RC4, first 16 bytes of SHA-1("MOZKAR")
        const char* plain;
    };
    const Case cases[] = {
        {"A", "01e700000000000000000000000000e8", "018d000000000000000000000000008e",
         "01410000000000000000000000000042"},
        {"secret", "06d53e7922d993000000000000000020", "06bf1292a7fcf00000000000000000fc",
         "0673656372657400000000000000008c"},
        {"PLC-Pass_14chr", "0ef617597dec869891a71e9617829313", "0e9c3bb2f8c9e58cc6813adbefdbbead",
         "0e504c432d506173735f3134636872b2"},
        {"PLC-Pass_14chrX", "0ef617597dec869891a71e9617829313", "0e9c3bb2f8c9e58cc6813adbefdbbead",
         "0e504c432d506173735f3134636872b2"}, // the 15th character is dropped
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vec(cipher.encrypt(c.password).value()), hex(c.current)) << c.password;
        EXPECT_EQ(vec(cipher.encryptOld(c.password).value()), hex(c.older)) << c.password;
        const PasswordBlock plain = PasswordCipher::plain(c.password);
        EXPECT_EQ(vec(plain), hex(c.plain)) << c.password;
        EXPECT_TRUE(PasswordCipher::hasStoredPassword(plain)) << c.password;
        PasswordBlock off = plain;
        ++off[15];
        EXPECT_FALSE(PasswordCipher::hasStoredPassword(off)) << c.password;
    }
    EXPECT_FALSE(PasswordCipher(nullptr).encrypt("A").has_value());
}

TEST(Crypto, FileKeysOfBothSchemesAndTheSha1Derivation) {
    const auto crypto = Crypto::open();
    ASSERT_NE(crypto, nullptr);
    EXPECT_EQ(vec(CFileEncryption::currentSchemeKey(*crypto, true)),
              hex("c4329bead88cf552dc93d1c94e181e6d"));
    EXPECT_EQ(vec(CFileEncryption::currentSchemeKey(*crypto, false)),
              hex("fc16664ca770f13a0af7732e016e7d9d"));
    EXPECT_EQ(vec(CFileEncryption::olderSchemeKey(*crypto)),
              hex("90dba8847cfe87ab7b457a3c30336009"));
}

} // namespace
} // namespace dlu
