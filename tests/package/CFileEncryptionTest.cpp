#include "package/CFileEncryption.h"

#include "PackageBuilder.h"
#include "PackageTestUtil.h"
#include "package/FileKind.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace dlu {
namespace {

using test::Bytes;
using test::PackageBuilder;
using test::Scheme;

namespace fs = std::filesystem;

Bytes withHeader(std::string_view text, std::size_t size, std::uint8_t fill) {
    Bytes b(size, fill);
    std::fill_n(b.begin(), 100, 0);
    std::copy(text.begin(), text.end(), b.begin());
    return b;
}

class FileEncryptionTest : public ::testing::Test {
protected:
    std::string put(const std::string& name, const Bytes& content) {
        const std::string path = dir.file(name);
        test::writeFile(path, content);
        // An old time, so that a rewrite without restoring it shows.
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(48));
        return path;
    }

    test::TempDir dir;
    test::RecordingPrompter prompter;
    Messages messages{Language::English};
};

TEST_F(FileEncryptionTest, DecryptCheckedPerSchemeAndKind) {
    const Bytes prm = PackageBuilder().parameterFile();
    const Bytes bin = PackageBuilder().xpLink(false).linkFile();
    const Bytes garbage(300, 0xA5);
    // Decrypted in several pieces: the chaining between them and the padding at the end.
    Bytes bigPrm = prm;
    bigPrm.resize(CFileEncryption::kDecryptPiece * 2 + 1000 + 5, 0x3C);
    struct Case {
        const char* what;
        const char* name;
        Bytes stored;
        bool platformHasSha2;
        bool result;
        Bytes expected;
    };
    const Case cases[] = {
        {"plain parameter file", "a.PRM", prm, true, true, prm},
        {"current scheme", "a.PRM", PackageBuilder::encrypt(Scheme::Current, prm), true, true, prm},
        {"older scheme, second attempt", "a.prm", PackageBuilder::encrypt(Scheme::Older, prm), true,
         true, prm},
        {"current scheme, SHA-1 key", "a.PRM", PackageBuilder::encrypt(Scheme::CurrentSha1, prm),
         false, true, prm},
        {"SHA-1 key where SHA-2 is used", "a.PRM",
         PackageBuilder::encrypt(Scheme::CurrentSha1, prm), true, false,
         PackageBuilder::encrypt(Scheme::CurrentSha1, prm)},
        {"older link layout", "a.BIN", PackageBuilder::encrypt(Scheme::Current, bin), true, true,
         bin},
        {"working copy finds its kind", "a.PRMBUFF", PackageBuilder::encrypt(Scheme::Older, prm),
         true, true, prm},
        {"neither scheme", "a.PRM", garbage, true, false, garbage},
        {"current scheme, several pieces", "a.PRM",
         PackageBuilder::encrypt(Scheme::Current, bigPrm), true, true, bigPrm},
        {"unknown kind is never decrypted", "a.TXT", PackageBuilder::encrypt(Scheme::Current, prm),
         true, true, PackageBuilder::encrypt(Scheme::Current, prm)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = put(c.name, c.stored);
        const auto oldTime = fs::last_write_time(path);

        CFileEncryption enc(prompter, messages, &Crypto::open, c.platformHasSha2);
        EXPECT_EQ(enc.DecryptChecked(path), c.result);
        EXPECT_EQ(test::readFile(path), c.expected);
        EXPECT_EQ(dir.listing(), std::vector<std::string>{c.name}); // no attempt backup
        EXPECT_EQ(fs::last_write_time(path), oldTime); // times are put back after a rewrite
        fs::remove(path);
    }
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(FileEncryptionTest, MakeDecryptedCopyKeepsTheOriginal) {
    const Bytes prm = PackageBuilder().parameterFile();
    const Bytes encrypted = PackageBuilder::encrypt(Scheme::Older, prm);
    CFileEncryption enc(prompter, messages);

    const std::string plainPath = put("plain.PRM", prm);
    const std::string plainCopy = enc.MakeDecryptedCopy(plainPath);
    EXPECT_EQ(plainCopy, plainPath + "BUFF");
    EXPECT_EQ(test::readFile(plainCopy), prm);

    const std::string path = put("enc.PRM", encrypted);
    const std::string copy = enc.MakeDecryptedCopy(path);
    EXPECT_EQ(test::readFile(copy), prm);
    EXPECT_EQ(test::readFile(path), encrypted);

    enc.DeleteBufferFile(copy);
    enc.DeleteBufferFile(plainCopy);
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"enc.PRM", "plain.PRM"}));
}

TEST_F(FileEncryptionTest, CheckFileKindNeverChangesTheFile) {
    const Bytes prm = PackageBuilder().parameterFile();
    Bytes variable = withHeader(magic::kVariable, 150, 0x42);
    struct Case {
        const char* name;
        Bytes stored;
        std::uint8_t result;
    };
    const Case cases[] = {
        {"a.PRM", prm, CFileEncryption::kKindMatches},
        {"b.PRM", PackageBuilder::encrypt(Scheme::Current, prm), CFileEncryption::kKindMatches},
        {"c.PRM", PackageBuilder::encrypt(Scheme::Older, prm), CFileEncryption::kKindMatches},
        {"d.PRM", Bytes(200, 0x33), CFileEncryption::kKindMismatch},
        {"e.BIN", prm, CFileEncryption::kKindMismatch},      // a parameter file is no link file
        {"f.TXT", prm, CFileEncryption::kKindMismatch},      // unknown extension
        {"g.PLC", variable, CFileEncryption::kKindMismatch}, // PLC is not in lookup B
        {"h.PLCV", variable, CFileEncryption::kKindMatches},
    };
    CFileEncryption enc(prompter, messages);
    for (const Case& c : cases) {
        const std::string path = put(c.name, c.stored);
        EXPECT_EQ(enc.CheckFileKind(path), c.result) << c.name;
        EXPECT_EQ(test::readFile(path), c.stored) << c.name;
    }
    EXPECT_EQ(enc.CheckFileKind(dir.file("missing.PRM")), CFileEncryption::kKindMismatch);
    EXPECT_EQ(dir.listing().size(), std::size(cases)); // no copies left
}

TEST_F(FileEncryptionTest, DeleteBufferFileOnlyDeletesBufferCopies) {
    struct Case {
        const char* name;
        bool deleted;
    };
    const Case cases[] = {{"a.PRMBUFF", true}, {"b.prmbuff", true}, {"c.BinBuff", true},
                          {"d.PRM", false},    {"BUFF.PRM", false}, {"e.BUFFX", false}};
    CFileEncryption enc(prompter, messages);
    for (const Case& c : cases) {
        const std::string path = put(c.name, Bytes{1, 2, 3});
        enc.DeleteBufferFile(path);
        EXPECT_EQ(fs::exists(path), !c.deleted) << c.name;
    }
    enc.DeleteBufferFile(dir.file("missing.PRMBUFF")); // nothing to do, no failure
    fs::create_directory(dir.file("folder.BUFF"));
    enc.DeleteBufferFile(dir.file("folder.BUFF"));
    EXPECT_TRUE(fs::is_directory(dir.file("folder.BUFF")));
}

TEST_F(FileEncryptionTest, SpecialProgramLengthIsCutAfterTheCurrentScheme) {
    const auto special = [](std::uint8_t b102, std::array<std::uint8_t, 4> len,
                            std::size_t size = 300) {
        Bytes b = withHeader(magic::kSpecialProgram, size, 0x77);
        b[102] = b102;
        std::copy(len.begin(), len.end(), b.begin() + 112);
        return b;
    };
    const auto zeroed = [](Bytes b, bool wide) {
        b[114] = b[115] = 0;
        if (wide) {
            b[112] = b[113] = 0;
        }
        return b;
    };
    const auto first = [](const Bytes& b, std::size_t n) {
        return Bytes(b.begin(), b.begin() + static_cast<long>(n));
    };
    struct Case {
        const char* what;
        const char* name;
        Bytes plain;
        Bytes expected;
    };
    const Bytes narrow = special(0, {0x99, 0x99, 0x00, 0xC8}); // 200 bytes, 112/113 kept
    // 65552 bytes, 32-bit length: the narrow reading would give 16.
    const Bytes wide = special(18, {0x00, 0x01, 0x00, 0x10}, 65600);
    const Bytes noLength = special(18, {0x12, 0x34, 0x00, 0x00});
    const Bytes tooLong = special(0, {0x00, 0x00, 0xFF, 0xFF});
    const Case cases[] = {
        {"16-bit length", "p.SPC", narrow, first(zeroed(narrow, false), 200)},
        {"32-bit length", "p.PMP", wide, first(zeroed(wide, true), 65552)},
        {"working copy", "p.SPCBUFF", wide, first(zeroed(wide, true), 65552)},
        {"zero length bytes: whole file", "p.SPC", noLength, noLength},
        {"length past the data: never past it", "p.SPC", tooLong, zeroed(tooLong, false)},
        {"letter case counts for the kind number", "p.spc", narrow, narrow},
    };
    CFileEncryption enc(prompter, messages);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = put(c.name, PackageBuilder::encrypt(Scheme::Current, c.plain));
        enc.DecryptFile(path, CFileEncryption::kCurrentSchemeWithMessages);
        EXPECT_EQ(test::readFile(path), c.expected);
    }
    // The older scheme writes every byte.
    const std::string older = put("o.SPC", PackageBuilder::encrypt(Scheme::Older, narrow));
    enc.DecryptFile(older, CFileEncryption::kOlderScheme);
    EXPECT_EQ(test::readFile(older), narrow);
}

TEST_F(FileEncryptionTest, NoCryptoLibraryAsksOnceAndLeavesTheFile) {
    const Bytes stored = PackageBuilder::encrypt(Scheme::Current, PackageBuilder().parameterFile());
    const auto none = [] { return std::unique_ptr<Crypto>(); };
    struct Case {
        std::uint16_t selector;
        PromptAnswer answer;
        std::size_t messages;
    };
    const Case cases[] = {
        {CFileEncryption::kCurrentSchemeWithMessages, PromptAnswer::No, 1},
        {CFileEncryption::kCurrentSchemeWithMessages, PromptAnswer::Yes, 2},
        {2, PromptAnswer::Yes, 0}, // current scheme without messages
        {CFileEncryption::kOlderScheme, PromptAnswer::No, 1},
    };
    for (const Case& c : cases) {
        test::RecordingPrompter p;
        p.answer = c.answer;
        CFileEncryption enc(p, messages, none);
        const std::string path = put("pkg.DWNbuff", stored);
        enc.DecryptFile(path, c.selector);
        EXPECT_EQ(test::readFile(path), stored);
        ASSERT_EQ(p.shown.size(), c.messages) << c.selector;
        if (c.messages > 0) {
            EXPECT_EQ(p.shown[0].text, messages(674));
            EXPECT_EQ(p.shown[0].buttons, PromptButtons::YesNo);
        }
        if (c.messages > 1) {
            EXPECT_NE(p.shown[1].text.find("Encryption Error"), std::string::npos);
            EXPECT_NE(
                p.shown[1].text.find("<Cryptographic Key Container file creation has failed>"),
                std::string::npos);
        }
    }
}

} // namespace
} // namespace dlu
