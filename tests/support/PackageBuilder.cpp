#include "PackageBuilder.h"

#include <minizip/zip.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace dlu::test {

namespace {

constexpr std::string_view kParameterText = "QMR Systems Co.,Ltd. BELKO PLC PARAMTER FILE";
constexpr std::string_view kLinkText = "QMR Systems Co.,Ltd. BELKO PLC LINK FILE";
constexpr std::string_view kLinkXpText = "QMR Systems Co.,Ltd. BELKO PLC LINK FILE XP";
constexpr std::string_view kCurrentPass = "ZXCVBNMASDFGHJK20991130";
constexpr std::string_view kOlderPass = "HBVNMQWERTPLKJZ20991231";

Bytes header(std::string_view text) {
    Bytes h(100, 0);
    std::copy(text.begin(), text.end(), h.begin());
    return h;
}

void putText(Bytes& b, std::size_t at, std::string_view text, std::size_t max) {
    std::copy_n(text.begin(), std::min(text.size(), max), b.begin() + static_cast<long>(at));
}

void putLe16(Bytes& b, std::size_t at, unsigned v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

// Our own library context, so that RC4 (legacy provider) is available to the builder.
OSSL_LIB_CTX* libctx() {
    static OSSL_LIB_CTX* ctx = [] {
        OSSL_LIB_CTX* c = OSSL_LIB_CTX_new();
        OSSL_PROVIDER_load(c, "legacy");
        OSSL_PROVIDER_load(c, "default");
        return c;
    }();
    return ctx;
}

template <std::size_t N> std::array<std::uint8_t, N> hash(const char* name, const Bytes& data) {
    std::array<std::uint8_t, N> out{};
    EVP_MD* md = EVP_MD_fetch(libctx(), name, nullptr);
    unsigned len = 0;
    EVP_Digest(data.data(), data.size(), out.data(), &len, md, nullptr);
    EVP_MD_free(md);
    return out;
}

Bytes bytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes cipher(const char* name, const Bytes& key, const Bytes& iv, const Bytes& plain, bool pad) {
    EVP_CIPHER* c = EVP_CIPHER_fetch(libctx(), name, nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (c == nullptr || ctx == nullptr) {
        throw std::runtime_error("cipher not available");
    }
    EVP_EncryptInit_ex2(ctx, c, nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size()));
    EVP_EncryptInit_ex2(ctx, nullptr, key.data(), iv.empty() ? nullptr : iv.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0);
    Bytes out(plain.size() + 32);
    int n1 = 0;
    int n2 = 0;
    EVP_EncryptUpdate(ctx, out.data(), &n1, plain.data(), static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(ctx, out.data() + n1, &n2);
    out.resize(static_cast<std::size_t>(n1 + n2));
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(c);
    return out;
}

} // namespace

PackageBuilder::PackageBuilder() {
    parameterData_.resize(240);
    for (std::size_t i = 0; i < parameterData_.size(); ++i) {
        parameterData_[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    linkPrograms_ = {Bytes(64, 0x11), Bytes(128, 0x22)};
    programs_ = {{0, "Main", 1}, {4, "Sub", 2}};
}

PackageBuilder& PackageBuilder::project(std::string name, std::uint16_t cpuType) {
    name_ = std::move(name);
    cpu_ = cpuType;
    return *this;
}
PackageBuilder& PackageBuilder::program(std::uint16_t pid, std::string name, std::uint16_t kind) {
    if (explicitPrograms_++ == 0) {
        programs_.clear(); // the first program given replaces the defaults
    }
    programs_.push_back({pid, std::move(name), kind});
    return *this;
}
PackageBuilder& PackageBuilder::storedProgramCount(std::uint16_t count) {
    storedCount_ = count;
    return *this;
}
PackageBuilder& PackageBuilder::st(std::uint8_t number, std::string name) {
    st_.push_back({number, std::move(name)});
    return *this;
}
PackageBuilder& PackageBuilder::xpLink(bool xp) {
    xp_ = xp;
    return *this;
}
PackageBuilder& PackageBuilder::linkPrograms(std::vector<Bytes> programs) {
    linkPrograms_ = std::move(programs);
    return *this;
}
PackageBuilder& PackageBuilder::parameterData(Bytes data) {
    parameterData_ = std::move(data);
    return *this;
}
PackageBuilder& PackageBuilder::innerScheme(Scheme scheme) {
    inner_ = scheme;
    return *this;
}
PackageBuilder& PackageBuilder::method(ZipMethod m) {
    method_ = m;
    return *this;
}
PackageBuilder& PackageBuilder::packageScheme(Scheme scheme) {
    package_ = scheme;
    return *this;
}
PackageBuilder& PackageBuilder::baseName(std::string name) {
    baseName_ = std::move(name);
    return *this;
}
PackageBuilder& PackageBuilder::extra(std::string entryName, Bytes content) {
    extras_.emplace_back(std::move(entryName), std::move(content));
    return *this;
}
PackageBuilder& PackageBuilder::without(std::string extension) {
    without_.push_back(std::move(extension));
    return *this;
}

Bytes PackageBuilder::parameterFile() const {
    Bytes f = header(kParameterText);
    f.insert(f.end(), parameterData_.begin(), parameterData_.end());
    return f;
}

Bytes PackageBuilder::linkFile() const {
    Bytes f = header(xp_ ? kLinkXpText : kLinkText);
    const bool little = (cpu_ >= 10 && cpu_ <= 22) || (cpu_ >= 26 && cpu_ <= 29) || cpu_ == 34;
    Bytes pbt(128 * 64, 0);
    for (std::size_t i = 0; i < 128; ++i) {
        std::uint8_t* e = pbt.data() + i * 64;
        e[0] = static_cast<std::uint8_t>(i);
        if (i >= linkPrograms_.size()) {
            e[xp_ ? 2 : 20] = 0xFF;
            continue;
        }
        const auto units = static_cast<std::uint32_t>(linkPrograms_[i].size() / 4);
        const std::size_t at = xp_ ? 20 : 14;
        const std::size_t width = xp_ ? 4 : 2;
        for (std::size_t k = 0; k < width; ++k) {
            const std::size_t shift = 8 * (little ? k : width - 1 - k);
            e[at + k] = static_cast<std::uint8_t>((units >> shift) & 0xFF);
        }
    }
    f.insert(f.end(), pbt.begin(), pbt.end());
    for (const Bytes& p : linkPrograms_) {
        f.insert(f.end(), p.begin(), p.end());
    }
    return f;
}

Bytes PackageBuilder::projectInfoRecord() const {
    Bytes r(4516, 0);
    putText(r, 0, name_, 31);
    putLe16(r, 32, cpu_);
    putLe16(r, 34, storedCount_.value_or(static_cast<std::uint16_t>(programs_.size())));
    for (std::size_t i = 0; i < programs_.size() && i < 112; ++i) {
        const std::size_t at = 36 + i * 40;
        putLe16(r, at + 4, programs_[i].pid);
        putText(r, at + 6, programs_[i].name, 32);
        putLe16(r, at + 38, programs_[i].kind);
    }
    return r;
}

std::string PackageBuilder::projectInfoIni() const {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const Bytes r = projectInfoRecord();
    std::string value;
    unsigned sum = 0;
    for (const std::uint8_t b : r) {
        value += kHex[b >> 4];
        value += kHex[b & 15];
        sum += b;
    }
    value += kHex[(sum >> 4) & 15];
    value += kHex[sum & 15];
    return "[BELKO_PLC]\r\nPROJECT_INFO=" + value + "\r\n";
}

std::vector<std::pair<std::string, Bytes>> PackageBuilder::entries() const {
    std::vector<std::pair<std::string, Bytes>> out;
    const std::string base = baseName_.value_or(name_);
    const auto wanted = [this](std::string_view ext) {
        return std::find(without_.begin(), without_.end(), ext) == without_.end();
    };
    if (wanted("PRM")) {
        out.emplace_back(base + ".PRM", encrypt(inner_, parameterFile()));
    }
    if (wanted("BIN")) {
        out.emplace_back(base + ".BIN", encrypt(inner_, linkFile()));
    }
    if (wanted("INI")) {
        out.emplace_back(base + ".INI", bytesOf(projectInfoIni()));
    }
    for (const StProgram& s : st_) {
        Bytes stl(100, 0);
        stl[3] = s.number;
        putText(stl, 36, s.name, 32);
        out.emplace_back("ST/" + s.name + ".STL", stl);
        for (const char* ext : {".STB", ".STV", ".STA", ".STS"}) {
            out.emplace_back("ST/" + s.name + ext, bytesOf(s.name + ext));
        }
    }
    if (!st_.empty()) {
        out.emplace_back("ST/StTable.STI", Bytes(64, 0x5A));
        for (const char* ext : {".GLV", ".GLA", ".GLS", ".GLI"}) {
            out.emplace_back(std::string("Global/GlobalVar") + ext, bytesOf(ext));
        }
    }
    out.insert(out.end(), extras_.begin(), extras_.end());
    return out;
}

PackageBuilder& PackageBuilder::zeros(std::string entryName, std::uint64_t size,
                                      std::optional<std::uint64_t> declared) {
    zeros_.push_back({std::move(entryName), size, declared.value_or(size)});
    return *this;
}

namespace {

// `n` zeros as raw deflate blocks ended by a full flush: such pieces in a row, closed by an
// empty final block, make one valid stream, since a full flush leaves no reference back.
Bytes flushedZeros(std::size_t n) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes in(n, 0);
    Bytes out(deflateBound(&z, static_cast<uLong>(n)) + 64);
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(n);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FULL_FLUSH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

// Appends a raw deflate stream of `e.size` zeros, a compressed MiB repeated, with the CRC of
// the true content and the size the entry declares: fast for any size.
void addZeroEntry(zipFile zf, const PackageBuilder::ZeroEntry& e) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    zip_fileinfo info{};
    zipOpenNewFileInZip2_64(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_BEST_COMPRESSION, 1, 1);
    const Bytes piece = flushedZeros(kPiece);
    const Bytes zeros(kPiece, 0);
    const uLong pieceCrc = crc32(0, zeros.data(), static_cast<uInt>(kPiece));
    uLong crc = crc32(0, nullptr, 0);
    for (std::uint64_t i = 0; i < e.size / kPiece; ++i) {
        zipWriteInFileInZip(zf, piece.data(), static_cast<unsigned>(piece.size()));
        crc = crc32_combine(crc, pieceCrc, static_cast<z_off_t>(kPiece));
    }
    const auto rest = static_cast<std::size_t>(e.size % kPiece);
    const Bytes tail = flushedZeros(rest);
    zipWriteInFileInZip(zf, tail.data(), static_cast<unsigned>(tail.size()));
    crc = crc32_combine(crc, crc32(0, zeros.data(), static_cast<uInt>(rest)),
                        static_cast<z_off_t>(rest));
    const std::uint8_t finalBlock[] = {0x03, 0x00};
    zipWriteInFileInZip(zf, finalBlock, sizeof finalBlock);
    zipCloseFileInZipRaw64(zf, e.declared, crc);
}

} // namespace

Bytes PackageBuilder::archive() const { return zip(entries(), method_, zeros_); }

Bytes PackageBuilder::package() const { return encrypt(package_, archive()); }

void PackageBuilder::write(const std::string& path) const { writeFile(path, package()); }

Bytes PackageBuilder::encrypt(Scheme scheme, const Bytes& plain) {
    switch (scheme) {
    case Scheme::None:
        return plain;
    case Scheme::Current: {
        const auto d = hash<64>("SHA512", bytesOf(kCurrentPass));
        return cipher("AES-128-CBC", Bytes(d.begin(), d.begin() + 16), Bytes(16, 0), plain, true);
    }
    case Scheme::CurrentSha1: {
        const auto d = hash<20>("SHA1", bytesOf(kCurrentPass));
        Bytes b1(64, 0x36);
        Bytes b2(64, 0x5C);
        for (std::size_t i = 0; i < d.size(); ++i) {
            b1[i] = static_cast<std::uint8_t>(b1[i] ^ d[i]);
            b2[i] = static_cast<std::uint8_t>(b2[i] ^ d[i]);
        }
        const auto h1 = hash<20>("SHA1", b1);
        return cipher("AES-128-CBC", Bytes(h1.begin(), h1.begin() + 16), Bytes(16, 0), plain, true);
    }
    case Scheme::Older: {
        const auto d = hash<20>("SHA1", bytesOf(kOlderPass));
        return cipher("RC4", Bytes(d.begin(), d.begin() + 16), {}, plain, false);
    }
    }
    return plain;
}

Bytes PackageBuilder::zip(const std::vector<std::pair<std::string, Bytes>>& entries,
                          ZipMethod method, const std::vector<ZeroEntry>& zeros) {
    char tmpl[] = "/tmp/dlu-builder-XXXXXX";
    const int fd = mkstemp(tmpl);
    if (fd < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    close(fd);
    zipFile zf = zipOpen64(tmpl, APPEND_STATUS_CREATE);
    if (zf == nullptr) {
        throw std::runtime_error("zipOpen failed");
    }
    for (const auto& [name, data] : entries) {
        zip_fileinfo info{};
        const int m = method == ZipMethod::Deflated ? Z_DEFLATED : 0;
        zipOpenNewFileInZip64(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, m,
                              m == 0 ? 0 : Z_DEFAULT_COMPRESSION, 0);
        if (!data.empty()) {
            zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size()));
        }
        zipCloseFileInZip(zf);
    }
    for (const ZeroEntry& e : zeros) {
        addZeroEntry(zf, e);
    }
    zipClose(zf, nullptr);
    Bytes out = readFile(tmpl);
    std::remove(tmpl);
    return out;
}

void writeFile(const std::string& path, const Bytes& data) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string sha256HexOfFile(const std::string& path) {
    const Bytes data = readFile(path);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xF];
    }
    return hex;
}

} // namespace dlu::test
