// Known-answer tests of the OpenSSL wrapper: published vectors (RFC 1321, FIPS 180, the
// classic RC4 vectors, NIST SP 800-38A F.2.2), not values produced by our own code.
#include "common/Crypto.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace dlu
