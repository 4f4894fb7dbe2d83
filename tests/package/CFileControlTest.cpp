#include "package/CFileControl.h"

#include "PackageBuilder.h"
#include "PackageTestUtil.h"
#include "package/CFileEncryption.h"
#include "package/PackageReading.h"
#include "package/StProgramTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dlu {
namespace {

using test::Bytes;
using test::PackageBuilder;
using test::Scheme;
using test::ZipMethod;
namespace fs = std::filesystem;

class PackageTest : public ::testing::Test {
protected:
    // Writes the package as Line1.DWN with an old time stamp and remembers both.
    std::string put(const PackageBuilder& b, const std::string& name = "Line1.DWN") {
        return putBytes(b.package(), name);
    }
    std::string putBytes(const Bytes& bytes, const std::string& name = "Line1.DWN") {
        path = dir.file(name);
        test::writeFile(path, bytes);
        stamp = fs::file_time_type::clock::now() - std::chrono::hours(72);
        fs::last_write_time(path, stamp);
        original = bytes;
        return path;
    }
    std::optional<PackageContents> read() { return readPackage(path, reader, encryption); }

    // The package is as the user chose it and nothing else is left beside it.
    void expectPackageUntouched() {
        EXPECT_EQ(test::readFile(path), original);
        EXPECT_EQ(fs::last_write_time(path), stamp);
        EXPECT_EQ(dir.listing(), std::vector<std::string>{fs::path(path).filename().string()});
    }

    std::size_t errors400() const {
        return static_cast<std::size_t>(
            std::count_if(prompter.shown.begin(), prompter.shown.end(),
                          [this](const auto& s) { return s.text == messages(400); }));
    }

    test::TempDir dir;
    test::RecordingPrompter prompter;
    Messages messages{Language::English};
    CFileEncryption encryption{prompter, messages};
    CFileControl reader{prompter, messages};
    std::string path;
    Bytes original;
    fs::file_time_type stamp;
};

std::uint32_t sizeOfTopLevelNonIni(const PackageBuilder& b) {
    std::uint32_t size = 0;
    for (const auto& [name, data] : b.entries()) {
        if (name.find('/') == std::string::npos && !name.ends_with(".INI")) {
            size += static_cast<std::uint32_t>(data.size());
        }
    }
    return size;
}

TEST_F(PackageTest, OpensPackagesOfEveryArchiveMethodAndInnerScheme) {
    for (const ZipMethod method : {ZipMethod::Stored, ZipMethod::Deflated}) {
        for (const Scheme inner : {Scheme::None, Scheme::Current, Scheme::Older}) {
            SCOPED_TRACE(testing::Message() << "method " << static_cast<int>(method) << " inner "
                                            << static_cast<int>(inner));
            PackageBuilder b;
            b.project("Line1", 26)
                .program(3, "Main", 1)
                .program(17, "Timer", 5)
                .st(0, "Conv")
                .st(5, "Main")
                .method(method)
                .innerScheme(inner);
            put(b);
            const auto contents = read();
            ASSERT_TRUE(contents.has_value());
            EXPECT_EQ(contents->info.projectName(), "Line1");
            EXPECT_EQ(contents->info.cpuType(), 26);
            EXPECT_EQ(contents->info.programCount(), 2u);
            EXPECT_EQ(contents->info.program(1).nameText(), "Timer");
            EXPECT_EQ(contents->projectSize, sizeOfTopLevelNonIni(b));
            EXPECT_TRUE(contents->st.present(0));
            EXPECT_TRUE(contents->st.present(5));
            EXPECT_EQ(contents->st.entry(5).nameText(), "Main");
            EXPECT_EQ(reader.LinkFileName(), "Line1.BIN");
            EXPECT_EQ(reader.ParameterFileName(), "Line1.PRM");
            EXPECT_EQ(reader.ProjectInfoFileName(), "Line1.INI");
            expectPackageUntouched();
        }
    }
    EXPECT_TRUE(prompter.shown.empty());
    // Outside the Linux family the ST table is not read.
    put(PackageBuilder().project("Std", 0).st(1, "Ignored"));
    const auto other = read();
    ASSERT_TRUE(other.has_value());
    EXPECT_FALSE(other->st.present(1));
}

TEST_F(PackageTest, RequiredKindsAnyCaseButOnlyUpperIniLeavesTheSize) {
    PackageBuilder plain;
    const Bytes prm = plain.parameterFile();
    const Bytes bin = plain.linkFile();
    const std::string ini = plain.projectInfoIni();
    const Bytes iniBytes(ini.begin(), ini.end());
    struct Case {
        const char* prmName;
        const char* binName;
        const char* iniName;
        bool iniCounted;
    };
    for (const Case& c :
         {Case{"a.prm", "a.Bin", "a.ini", true}, Case{"a.PRM", "a.BIN", "a.INI", false},
          Case{"a.Prm", "a.bin", "a.Ini", true}}) {
        PackageBuilder b;
        b.without("PRM")
            .without("BIN")
            .without("INI")
            .extra(c.prmName, prm)
            .extra(c.binName, bin)
            .extra(c.iniName, iniBytes)
            .extra("notes.txt", Bytes(10, 'n'));
        put(b);
        const auto contents = read();
        ASSERT_TRUE(contents.has_value()) << c.iniName;
        const std::uint32_t expected = static_cast<std::uint32_t>(
            prm.size() + bin.size() + 10 + (c.iniCounted ? iniBytes.size() : 0));
        EXPECT_EQ(contents->projectSize, expected) << c.iniName;
        EXPECT_EQ(reader.ProjectInfoFileName(), c.iniName);
    }
}

TEST_F(PackageTest, MissingRequiredFileShowsDownloadFileError) {
    PackageBuilder base;
    const Bytes prm = base.parameterFile();
    struct Case {
        const char* what;
        PackageBuilder builder;
    };
    std::vector<Case> cases;
    cases.push_back({"no PRM", PackageBuilder().without("PRM")});
    cases.push_back({"no BIN", PackageBuilder().without("BIN")});
    cases.push_back({"no INI", PackageBuilder().without("INI")});
    cases.push_back(
        {"PRM only in a subfolder", PackageBuilder().without("PRM").extra("sub/Line1.PRM", prm)});
    cases.push_back({"older scheme package", PackageBuilder().packageScheme(Scheme::Older)});
    // One file on the case-insensitive file system the package was made on.
    cases.push_back(
        {"two entries differing only in case",
         PackageBuilder().project("Line1", 26).st(5, "Main").extra("ST/MAIN.STB", Bytes(8, 'm'))});
    cases.push_back(
        {"two files in folders spelled apart",
         PackageBuilder().project("Line1", 26).st(5, "Main").extra("st/main.stb", Bytes(8, 'm'))});
    cases.push_back(
        {"a file and a folder differing only in case",
         PackageBuilder().project("Line1", 26).st(5, "Main").extra("st", Bytes(8, 's'))});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompter.shown.clear();
        put(c.builder);
        EXPECT_FALSE(read().has_value());
        EXPECT_EQ(errors400(), 1u);
        expectPackageUntouched();
    }
}

// Folders whose names differ only in case were one folder where the package was made: their
// files unpack into one folder, under the spelling seen first, and the ST table finds them all.
TEST_F(PackageTest, FoldersSpelledApartAreOneFolder) {
    const auto stl = [](std::uint8_t number, const std::string& name) {
        Bytes b(100, 0);
        b[3] = number;
        std::copy(name.begin(), name.end(), b.begin() + 36);
        return b;
    };
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, Bytes>> extras;
        std::vector<std::uint8_t> present;
    };
    const Case cases[] = {
        {"st/ beside ST/",
         {{"st/Other.STL", stl(7, "Other")}, {"st/Other.STB", Bytes(4, 'o')}},
         {5, 7}},
        {"St/ and sT/ beside ST/",
         {{"St/Other.STL", stl(7, "Other")}, {"sT/Third.STL", stl(9, "Third")}},
         {5, 7, 9}},
        {"a folder entry of its own", {{"st/", {}}, {"st/Other.STL", stl(7, "Other")}}, {5, 7}},
        {"GLOBAL/ beside Global/", {{"GLOBAL/Extra.GLX", Bytes(4, 'g')}}, {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompter.shown.clear();
        PackageBuilder b;
        b.project("Line1", 26).st(5, "Main");
        for (const auto& [name, data] : c.extras) {
            b.extra(name, data);
        }
        put(b);
        if (!reader.Open(path, encryption)) {
            ADD_FAILURE() << "the package was refused";
            continue;
        }
        EXPECT_EQ(errors400(), 0u);
        StProgramTable table;
        table.build(reader.StFolder());
        for (const std::uint8_t n : c.present) {
            EXPECT_TRUE(table.present(n)) << int{n};
        }
        EXPECT_EQ(reader.StFolder(), reader.UnpackFolder() + "ST/");
        std::vector<std::string> top;
        for (const auto& e : fs::directory_iterator(reader.UnpackFolder())) {
            if (e.is_directory()) {
                top.push_back(e.path().filename().string());
            }
        }
        std::sort(top.begin(), top.end());
        EXPECT_EQ(top, (std::vector<std::string>{"Global", "ST"}));
        EXPECT_TRUE(fs::exists(reader.StFolder() + "Main.STB"));
        reader.Close();
        expectPackageUntouched();
    }
}

TEST_F(PackageTest, DamagedArchivesEndInDownloadFileError) {
    const PackageBuilder good = PackageBuilder().method(ZipMethod::Stored);
    const Bytes archive = good.archive();
    Bytes crcBroken = archive;
    // The first entry is the stored PRM: its data starts after the 30-byte local header and
    // the name; change one byte so that its CRC fails.
    crcBroken[30 + good.entries()[0].first.size() + 120] ^= 0x01;
    Bytes cutArchive(archive.begin(), archive.begin() + static_cast<long>(archive.size() / 2));
    const Bytes package = good.package();
    // An optional entry (the ST table, 64 bytes of 'Z') that fails its CRC check.
    const PackageBuilder withSt =
        PackageBuilder().project("Line1", 26).st(5, "Main").method(ZipMethod::Stored);
    Bytes optionalBroken = withSt.archive();
    const Bytes table(64, 'Z');
    const auto tableAt =
        std::search(optionalBroken.begin(), optionalBroken.end(), table.begin(), table.end());
    ASSERT_NE(tableAt, optionalBroken.end());
    tableAt[10] ^= 0x01;
    // Plain archives, not encrypted at all, of a length that is and one that is not a whole
    // number of cipher blocks.
    std::vector<Bytes> plain;
    for (std::size_t pad = 0; plain.size() < 2; ++pad) {
        const Bytes zip =
            PackageBuilder().method(ZipMethod::Stored).extra("pad.txt", Bytes(pad, 'p')).archive();
        if (zip.size() % 16 == plain.size()) {
            plain.push_back(zip);
        }
    }

    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"CRC error in an entry", PackageBuilder::encrypt(Scheme::Current, crcBroken)},
        {"CRC error in an optional entry",
         PackageBuilder::encrypt(Scheme::Current, optionalBroken)},
        {"plain archive of 16k bytes", plain[0]},
        {"plain archive of 16k+1 bytes", plain[1]},
        {"archive cut in half", PackageBuilder::encrypt(Scheme::Current, cutArchive)},
        {"package cut in half",
         Bytes(package.begin(), package.begin() + static_cast<long>(package.size() / 2))},
        {"package cut by one byte", Bytes(package.begin(), package.end() - 1)},
        {"random bytes", Bytes(4096, 0x5E)},
        {"empty file", Bytes{}},
        {"plain text", Bytes{'h', 'e', 'l', 'l', 'o'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompter.shown.clear();
        putBytes(c.bytes);
        EXPECT_FALSE(read().has_value());
        EXPECT_EQ(errors400(), 1u);
        expectPackageUntouched();
    }
}

TEST_F(PackageTest, EntriesThatClimbOutAreNotExtracted) {
    const std::string outside = dir.path() + "-outside";
    PackageBuilder b;
    b.extra("../escape.txt", Bytes(5, 'x'))
        .extra("ST/../../escape2.txt", Bytes(5, 'x'))
        .extra(outside + "/abs.txt", Bytes(5, 'x'))
        .extra("C:/drive.txt", Bytes(5, 'x'))
        .extra("..\\escape3.txt", Bytes(5, 'x'))
        .extra("inside/ok.txt", Bytes(5, 'y'));
    put(b);
    ASSERT_TRUE(reader.Open(path, encryption));
    EXPECT_EQ(reader.LastUnpack().refused, 5u);
    EXPECT_TRUE(fs::exists(reader.UnpackFolder() + "inside/ok.txt"));
    const fs::path parent = fs::path(dir.path()).parent_path();
    for (const char* name : {"escape.txt", "escape2.txt", "escape3.txt", "drive.txt"}) {
        EXPECT_FALSE(fs::exists(parent / name)) << name;
        EXPECT_FALSE(fs::exists(fs::path(dir.path()) / name)) << name;
    }
    EXPECT_FALSE(fs::exists(outside));
    reader.Close();
    expectPackageUntouched();
}

// The working folder of an open: its path and whether it is a real folder of mode 0700.
std::string workingFolder(const CFileControl& reader) {
    return fs::path(reader.UnpackFolder()).parent_path().parent_path().string();
}
bool isPrivateFolder(const std::string& folder) {
    struct stat st {};
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0700;
}

// Sets an environment variable for one scope (unset when `value` is null).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Nothing is ever written beside the package, whatever an older version or an attacker left
// there, and also when the folder is read-only (as root permissions do not apply; the
// listing shows it all the same).
TEST_F(PackageTest, NothingIsWrittenBesideThePackage) {
    test::TempDir elsewhere;
    const std::string victim = elsewhere.file("victim.txt");
    test::writeFile(victim, Bytes{'k', 'e', 'e', 'p'});
    struct Case {
        const char* what;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"a clean folder", [] {}},
        {"links at the old working names",
         [&] {
             fs::create_symlink(victim, path + "buff");
             fs::create_directory_symlink(elsewhere.path(), dir.file("Line1_dwnbuff"));
         }},
        {"a read-only folder",
         [&] {
             fs::permissions(path, fs::perms::owner_read);
             fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::permissions(dir.path(), fs::perms::owner_all);
        for (const auto& e : fs::directory_iterator(dir.path())) {
            fs::remove_all(e.path());
        }
        put(PackageBuilder().project("Mine", 0));
        c.prepare();
        const auto before = dir.listing();
        ASSERT_TRUE(reader.Open(path, encryption));
        EXPECT_EQ(dir.listing(), before); // while open, too: a killed run leaves nothing here
        EXPECT_TRUE(isPrivateFolder(workingFolder(reader)));
        reader.Close();
        EXPECT_EQ(dir.listing(), before);
        EXPECT_EQ(test::readFile(path), original);
        EXPECT_EQ(test::readFile(victim), (Bytes{'k', 'e', 'e', 'p'}));
    }
    fs::permissions(dir.path(), fs::perms::owner_all);
    // A package the user links to is read through the link.
    fs::create_symlink(path, elsewhere.file("Link.DWN"));
    EXPECT_TRUE(reader.Open(elsewhere.file("Link.DWN"), encryption));
}

// The working folder goes under the runtime folder when it is ours and usable, else under
// TMPDIR, else /tmp; each open has its own, removed by Close, the next Open and the
// destructor.
TEST_F(PackageTest, WorkingFolderIsPrivateToEachOpen) {
    put(PackageBuilder());
    test::TempDir runtime;
    test::TempDir tmp;
    test::TempDir shared;
    fs::permissions(shared.path(), fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::add);
    const std::string link = tmp.file("runtime-link");
    fs::create_directory_symlink(runtime.path(), link);
    struct Case {
        const char* runtime;
        const char* tmpdir;
        std::string parent;
    };
    const Case cases[] = {
        {runtime.path().c_str(), tmp.path().c_str(), runtime.path()},
        {nullptr, tmp.path().c_str(), tmp.path()},
        {link.c_str(), tmp.path().c_str(), tmp.path()},          // a link is not followed
        {shared.path().c_str(), tmp.path().c_str(), tmp.path()}, // others could write there
        {"relative/run", "/nonexistent-dlu", "/tmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parent);
        const ScopedEnv r("XDG_RUNTIME_DIR", c.runtime);
        const ScopedEnv t("TMPDIR", c.tmpdir);
        std::string first;
        {
            CFileControl second(prompter, messages);
            ASSERT_TRUE(reader.Open(path, encryption));
            ASSERT_TRUE(second.Open(path, encryption));
            first = workingFolder(reader);
            EXPECT_EQ(fs::path(first).parent_path(), fs::path(c.parent));
            EXPECT_TRUE(fs::path(first).filename().string().starts_with("dlutil-"));
            EXPECT_TRUE(isPrivateFolder(first));
            EXPECT_NE(workingFolder(second), first);
            ASSERT_TRUE(reader.Open(path, encryption)); // the next open starts afresh
            EXPECT_FALSE(fs::exists(first));
            first = workingFolder(second);
        }
        EXPECT_FALSE(fs::exists(first)); // the destructor removed it
        reader.Close();
    }
    EXPECT_TRUE(prompter.shown.empty());
}

// Every limit, reached and passed, at small limits so that the packages stay small: a
// package at a limit opens, one past it is refused with message 400 and leaves nothing.
TEST_F(PackageTest, LimitsRefuseOversizedPackages) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    const CFileControl::Limits limits{16, kMiB, 4 * kMiB, 512 * 1024};
    std::uint64_t base = 0;
    for (const auto& e : PackageBuilder().entries()) {
        base += e.second.size();
    }
    const auto withExtras = [](std::size_t n) {
        PackageBuilder b;
        for (std::size_t i = 0; i < n; ++i) {
            b.extra("x" + std::to_string(i) + ".dat", Bytes(1, 'x'));
        }
        return b;
    };
    struct Case {
        const char* what;
        PackageBuilder builder;
        bool opens;
    };
    const Case cases[] = {
        {"an entry at the entry limit", PackageBuilder().zeros("a.dat", kMiB), true},
        {"an entry one byte over it", PackageBuilder().zeros("a.dat", kMiB + 1), false},
        {"declared small, inflating past it", PackageBuilder().zeros("a.dat", 3 * kMiB, 1000),
         false},
        {"declared past it, holding little", PackageBuilder().zeros("a.dat", 1000, 3 * kMiB),
         false},
        {"the whole package at its limit",
         PackageBuilder().zeros("a", kMiB).zeros("b", kMiB).zeros("c", kMiB).zeros("d",
                                                                                   kMiB - base),
         true},
        {"the whole package one byte over",
         PackageBuilder().zeros("a", kMiB).zeros("b", kMiB).zeros("c", kMiB).zeros("d",
                                                                                   kMiB - base + 1),
         false},
        {"entries at the count limit", withExtras(13), true},
        {"one entry more", withExtras(14), false},
        {"a package file past its limit",
         PackageBuilder().method(ZipMethod::Stored).extra("noise.dat", Bytes(600 * 1024, 'n')),
         false},
    };
    test::TempDir tmp;
    const ScopedEnv r("XDG_RUNTIME_DIR", nullptr);
    const ScopedEnv t("TMPDIR", tmp.path().c_str());
    reader.setLimits(limits);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompter.shown.clear();
        put(c.builder);
        EXPECT_EQ(reader.Open(path, encryption), c.opens);
        EXPECT_EQ(errors400(), c.opens ? 0u : 1u);
        reader.Close();
        expectPackageUntouched();
        EXPECT_TRUE(tmp.listing().empty());
    }
}

// Every refusal keeps message 400 and says under it why, in one line, with the entry or the
// limit it is about; names from the package are escaped.
TEST_F(PackageTest, RefusalsSayWhyUnderTheMessage) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    const CFileControl::Limits small{16, kMiB, 4 * kMiB, 512 * 1024};
    // A stored entry whose data no longer matches its CRC.
    const auto broken = [](const std::string& name) {
        const Bytes marker(48, 'Q');
        Bytes zip = PackageBuilder().method(ZipMethod::Stored).extra(name, marker).archive();
        const auto at = std::search(zip.begin(), zip.end(), marker.begin(), marker.end());
        at[7] ^= 0x01;
        return PackageBuilder::encrypt(Scheme::Current, zip);
    };
    const Bytes plain = PackageBuilder().archive();
    const Bytes unpadded = plain.size() % 16 == 0 ? Bytes(plain.begin(), plain.end() - 1) : plain;
    struct Case {
        const char* what;
        Bytes bytes;
        std::string cause;
        bool limited = false;
    };
    const Case cases[] = {
        {"a plain archive", unpadded, "not an encrypted package"},
        {"bytes that decrypt to no archive", Bytes(4096, 0x5E), "not an encrypted package"},
        {"an older scheme package", PackageBuilder().packageScheme(Scheme::Older).package(),
         "not an encrypted package"},
        {"a damaged entry", broken("Spare.dat"), "damaged entry Spare.dat"},
        {"a damaged entry with a crafted name", broken("a\x1b[2Jb.dat"),
         "damaged entry a\\x1B[2Jb.dat"},
        {"no project information", PackageBuilder().without("INI").package(),
         "missing project information (.INI file)"},
        {"no parameter file", PackageBuilder().without("PRM").package(),
         "missing parameter file (.PRM)"},
        {"no link file", PackageBuilder().without("BIN").package(), "missing link file (.BIN)"},
        {"names differing only in case",
         PackageBuilder()
             .extra("Doc/a.txt", Bytes(4, 'a'))
             .extra("DOC/A.TXT", Bytes(4, 'b'))
             .package(),
         "entry DOC/A.TXT differs from another only in letter case"},
        {"an entry over its limit", PackageBuilder().zeros("a.dat", kMiB + 1).package(),
         "entry a.dat over the limit of 1 MiB", true},
        // The archive reader gives no more than the size declared: the rest fails the CRC.
        {"an entry inflating past its declared size",
         PackageBuilder().zeros("a.dat", 3 * kMiB, 1000).package(), "damaged entry a.dat", true},
        {"an entry declared past its limit",
         PackageBuilder().zeros("a.dat", 1000, 3 * kMiB).package(),
         "entry a.dat over the limit of 1 MiB", true},
        {"the entries together over their limit",
         PackageBuilder()
             .zeros("a", kMiB)
             .zeros("b", kMiB)
             .zeros("c", kMiB)
             .zeros("d", kMiB)
             .package(),
         "over the limit of 4 MiB unpacked", true},
        {"too many entries",
         [] {
             PackageBuilder b;
             for (int i = 0; i < 20; ++i) {
                 b.extra("x" + std::to_string(i), Bytes(1, 'x'));
             }
             return b.package();
         }(),
         "over the limit of 16 entries", true},
        {"a package file over its limit",
         PackageBuilder()
             .method(ZipMethod::Stored)
             .extra("noise.dat", Bytes(600 * 1024, 'n'))
             .package(),
         "over the limit of 512 KiB for a package file", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompter.shown.clear();
        reader.setLimits(c.limited ? small : CFileControl::Limits{});
        putBytes(c.bytes);
        EXPECT_FALSE(read().has_value());
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, messages(400));
        EXPECT_EQ(prompter.shown[0].cause, c.cause);
        EXPECT_EQ(reader.LastRefusal(), c.cause);
    }

    // Paths that are no package file at all.
    reader.setLimits({});
    const struct {
        std::string path;
        std::string cause;
    } paths[] = {{dir.file("Missing.DWN"), "the file does not exist"},
                 {dir.path(), "not a regular file"}};
    for (const auto& p : paths) {
        SCOPED_TRACE(p.path);
        prompter.shown.clear();
        EXPECT_FALSE(readPackage(p.path, reader, encryption).has_value());
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].cause, p.cause);
    }
}

// Bombs at the real limits, opened in a child process whose peak memory is measured: a
// 300 MiB entry of zeros declaring 1000 bytes and one of 80 MiB declaring it are refused; an
// entry of exactly the entry limit opens, and its decryption attempts stay in bounds too.
TEST_F(PackageTest, BombsStayWithinMemoryAndDisk) {
    constexpr std::uint64_t kBomb = std::uint64_t{300} << 20;
    const std::string smallBomb = dir.file("small.DWN");
    const std::string largeBomb = dir.file("large.DWN");
    const std::string atLimit = dir.file("limit.DWN");
    PackageBuilder().zeros("bomb.dat", kBomb, 1000).write(smallBomb);
    PackageBuilder().zeros("bomb.dat", CFileControl::kMaxEntryBytes + (16 << 20)).write(largeBomb);
    PackageBuilder().zeros("Data/big.PRM", CFileControl::kMaxEntryBytes).write(atLimit);
    EXPECT_LT(fs::file_size(largeBomb), 1u << 20);
    test::TempDir tmp;

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", tmp.path().c_str(), 1);
        test::RecordingPrompter p;
        CFileEncryption e(p, messages);
        int result = 0;
        for (const std::string& bomb : {smallBomb, largeBomb}) {
            CFileControl r(p, messages);
            result = result * 2 + (r.Open(bomb, e) ? 1 : 0);
        }
        {
            CFileControl r(p, messages);
            if (r.Open(atLimit, e)) {
                const std::string big = r.UnpackFolder() + "Data/big.PRM";
                result = result * 2 + (fs::file_size(big) == CFileControl::kMaxEntryBytes ? 1 : 0);
                e.DeleteBufferFile(e.MakeDecryptedCopy(big));
            }
        }
        _exit(result);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1); // both bombs refused, the entry at the limit opened
    const long peakKiB = usage.ru_maxrss;
    RecordProperty("bomb_child_peak_rss_kib", std::to_string(peakKiB));
    std::printf("peak memory of the child opening the bombs: %ld KiB\n", peakKiB);
    EXPECT_LT(peakKiB, 64 * 1024);
    EXPECT_TRUE(tmp.listing().empty());
}

} // namespace
} // namespace dlu
