#include "common/Crypto.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <climits>

namespace dlu {

namespace {

// EVP takes int lengths; big files go through in slices of this size.
constexpr std::size_t kSlice = std::size_t{1} << 30;

struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> digest(const EVP_MD* md,
                                                  std::span<const std::uint8_t> data) {
    std::array<std::uint8_t, N> out{};
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex2(ctx.get(), md, nullptr) != 1) {
        return std::nullopt;
    }
    for (std::size_t at = 0; at < data.size(); at += kSlice) {
        const std::size_t n = std::min(kSlice, data.size() - at);
        if (EVP_DigestUpdate(ctx.get(), data.data() + at, n) != 1) {
            return std::nullopt;
        }
    }
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(ctx.get(), out.data(), &len) != 1 || len != N) {
        return std::nullopt;
    }
    return out;
}

// Runs `cipher` over `data` in place without padding; true when every slice went through.
bool cipherInPlace(EVP_CIPHER_CTX* ctx, std::span<std::uint8_t> data) {
    for (std::size_t at = 0; at < data.size(); at += kSlice) {
        const int n = static_cast<int>(std::min(kSlice, data.size() - at));
        int outLen = 0;
        if (EVP_CipherUpdate(ctx, data.data() + at, &outLen, data.data() + at, n) != 1 ||
            outLen != n) {
            return false;
        }
    }
    return true;
}

struct OpenSslLibrary {
    OSSL_LIB_CTX* lib = nullptr;
    OSSL_PROVIDER* legacy = nullptr;
    OSSL_PROVIDER* deflt = nullptr;
    EVP_MD* md5 = nullptr;
    EVP_MD* sha1 = nullptr;
    EVP_MD* sha512 = nullptr;
    EVP_CIPHER* rc4 = nullptr;
    EVP_CIPHER* aes = nullptr;

    ~OpenSslLibrary() {
        EVP_CIPHER_free(aes);
        EVP_CIPHER_free(rc4);
        EVP_MD_free(sha512);
        EVP_MD_free(sha1);
        EVP_MD_free(md5);
        if (deflt != nullptr) {
            OSSL_PROVIDER_unload(deflt);
        }
        if (legacy != nullptr) {
            OSSL_PROVIDER_unload(legacy);
        }
        OSSL_LIB_CTX_free(lib);
    }
};

class OpenSslCrypto final : public Crypto {
public:
    explicit OpenSslCrypto(std::unique_ptr<OpenSslLibrary> lib) : impl_(std::move(lib)) {}

    std::optional<Md5Digest> md5(std::span<const std::uint8_t> data) const override {
        return digest<16>(impl_->md5, data);
    }
    std::optional<Sha1Digest> sha1(std::span<const std::uint8_t> data) const override {
        return digest<20>(impl_->sha1, data);
    }
    std::optional<Sha512Digest> sha512(std::span<const std::uint8_t> data) const override {
        return digest<64>(impl_->sha512, data);
    }
    bool rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) const override;
    std::optional<std::size_t> aes128CbcDecrypt(const Aes128Key& key, const Aes128Iv& iv,
                                                std::span<std::uint8_t> data) const override;

private:
    std::unique_ptr<OpenSslLibrary> impl_;
};

} // namespace

std::unique_ptr<Crypto> Crypto::open() {
    auto impl = std::make_unique<OpenSslLibrary>();
    impl->lib = OSSL_LIB_CTX_new();
    if (impl->lib == nullptr) {
        return nullptr;
    }
    impl->legacy = OSSL_PROVIDER_load(impl->lib, "legacy");
    impl->deflt = OSSL_PROVIDER_load(impl->lib, "default");
    if (impl->legacy == nullptr || impl->deflt == nullptr) {
        return nullptr;
    }
    impl->md5 = EVP_MD_fetch(impl->lib, "MD5", nullptr);
    impl->sha1 = EVP_MD_fetch(impl->lib, "SHA1", nullptr);
    impl->sha512 = EVP_MD_fetch(impl->lib, "SHA512", nullptr);
    impl->rc4 = EVP_CIPHER_fetch(impl->lib, "RC4", nullptr);
    impl->aes = EVP_CIPHER_fetch(impl->lib, "AES-128-CBC", nullptr);
    if (impl->md5 == nullptr || impl->sha1 == nullptr || impl->sha512 == nullptr ||
        impl->rc4 == nullptr || impl->aes == nullptr) {
        return nullptr;
    }
    return std::make_unique<OpenSslCrypto>(std::move(impl));
}

bool OpenSslCrypto::rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) const {
    if (key.empty() || key.size() > INT_MAX) {
        return false;
    }
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex2(ctx.get(), impl_->rc4, nullptr, nullptr, 0, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(key.size())) != 1 ||
        EVP_CipherInit_ex2(ctx.get(), nullptr, key.data(), nullptr, 0, nullptr) != 1) {
        return false;
    }
    return cipherInPlace(ctx.get(), data);
}

std::optional<std::size_t> OpenSslCrypto::aes128CbcDecrypt(const Aes128Key& key, const Aes128Iv& iv,
                                                           std::span<std::uint8_t> data) const {
    constexpr std::size_t kBlock = 16;
    if (data.size() % kBlock != 0) {
        return std::nullopt;
    }
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex2(ctx.get(), impl_->aes, key.data(), iv.data(), 0, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
        return std::nullopt;
    }
    if (!cipherInPlace(ctx.get(), data)) {
        return std::nullopt;
    }
    // PKCS#7: the last byte names how many bytes of padding there are, each of that value.
    if (data.empty()) {
        return 0;
    }
    const std::uint8_t pad = data.back();
    if (pad == 0 || pad > kBlock) {
        return data.size();
    }
    const auto tail = data.last(pad);
    if (!std::all_of(tail.begin(), tail.end(), [pad](std::uint8_t b) { return b == pad; })) {
        return data.size();
    }
    return data.size() - pad;
}

} // namespace dlu
