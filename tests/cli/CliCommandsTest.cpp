// The dlutil commands called in this process, mostly against the embedded simulator: what they
// print, what they write, what they refuse and with which exit code. DlutilTest.cpp runs the
// program itself once per command.
#include "cli/BackupCommands.h"
#include "cli/DownloadCommand.h"
#include "cli/InfoCommand.h"
#include "cli/PdmCommands.h"
#include "cli/PdmShowCommand.h"
#include "cli/PortsCommand.h"
#include "cli/StatusCommand.h"
#include "cli/TerminalPrompter.h"

#include "PackageBuilder.h"
#include "PackageTestUtil.h"
#include "devmem/PdmFile.h"
#include "devmem/PdmImage.h"
#include "package/ProjectListing.h"
#include "plc/CpuTypeTable.h"
#include "plc/DeviceArea.h"
#include "sim/PlcSimulator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <iterator>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <fstream>
#include <functional>
#include <sstream>

namespace dlu {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using test::TempDir;

constexpr int kD = static_cast<int>(AreaIndex::D);
constexpr int kTC = static_cast<int>(AreaIndex::TC);
constexpr int kCS = static_cast<int>(AreaIndex::CS);

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Runs a command with standard error captured; `out` is its standard output.
Outcome capture(const std::function<int(std::ostream&)>& command) {
    ::testing::internal::CaptureStderr();
    std::ostringstream out;
    Outcome o;
    o.code = command(out);
    o.out = out.str();
    o.err = ::testing::internal::GetCapturedStderr();
    return o;
}

// Runs a command as dlutil does without a terminal: questions get their safe answer, texts
// are English.
using Command = std::function<int(TerminalPrompter&, const Messages&, std::ostream&)>;
Outcome cli(const Command& command) {
    TerminalPrompter prompter;
    const Messages en(Language::English);
    return capture([&](std::ostream& out) { return command(prompter, en, out); });
}

Outcome status(const std::string& conn, const std::string& cpu = {}, std::string trace = {}) {
    return cli([&](TerminalPrompter& p, const Messages& en, std::ostream& out) {
        return runStatus({cpu}, {conn, {}, {}, trace}, p, en, out);
    });
}

// What an A-21 PLC filled from `seed` holds.
PdmImage seededA21(std::uint32_t seed) {
    sim::PlcSimulator plc{sim::PlcConfig{}};
    plc.fillDeviceMemory(seed);
    return plc.deviceMemory();
}

PdmImage loaded(const std::string& file) {
    PdmImage image;
    EXPECT_EQ(PdmFile::load(file, image), PdmFile::LoadResult::Loaded) << file;
    return image;
}

TEST(CliStatus, ExitCodesAndMessages) {
    struct Case {
        std::string conn;
        std::string cpu;
        int code;
        const char* inOut;
        const char* inErr;
    };
    const Case cases[] = {
        {"embedded", "", 0, "CPU mode       : REMOTE STOP", ""},
        {"embedded?identity=A-01&key=local&mode=run", "", 0, "CPU mode       : LOCAL RUN", ""},
        // A project type that the PLC refuses: the PLC's message, exit 1.
        {"embedded?identity=A-21", "A-22", 1, "", "The CPU Type of PLC and project are not"},
        // A-01 warns about A-02 projects and goes on.
        {"embedded?identity=A-01", "A-02", 0, "REMOTE STOP", "The CPU Type of PLC and project"},
        {"nowhere", "", 2, "", "unknown connection"},
        {"embedded", "Z-99", 2, "", "unknown CPU type"},
    };
    for (const auto& c : cases) {
        const Outcome r = status(c.conn, c.cpu);
        EXPECT_EQ(r.code, c.code) << c.conn << "\n" << r.err;
        EXPECT_TRUE(contains(r.out, c.inOut)) << c.conn << "\n" << r.out;
        EXPECT_TRUE(contains(r.err, c.inErr)) << c.conn << "\n" << r.err;
        if (c.code != 0) {
            EXPECT_FALSE(contains(r.out, "CPU mode")) << c.conn;
        }
    }
}

// A trace that cannot be written (a full disk) is told once; the command goes on.
// A trace that stops being writable (a full disk: here writes past 100 bytes fail) is told
// once and the command goes on; a device node such as /dev/full is refused by name before
// anything is sent.
TEST(CliStatus, ATraceThatCannotBeWrittenIsToldOnce) {
    TempDir dir;
    // The hex lines and a pcapng capture (stopped in its second packet). The limit holds
    // for the captured standard error too, so it leaves room for the message.
    for (const char* name : {"trace.txt", "trace.pcapng"}) {
        const rlim_t limit = 100;
        const std::string trace = dir.file(name);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const Outcome r = status("embedded", "", trace);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_EQ(r.code, 0) << name << r.err;
        EXPECT_TRUE(contains(r.out, "CPU mode")) << name << r.out;
        const std::string told = "cannot write the trace file " + trace + ": File too large";
        const auto first = r.err.find(told);
        ASSERT_NE(first, std::string::npos) << name << r.err;
        EXPECT_EQ(r.err.find(told, first + 1), std::string::npos) << name << r.err;
    }

    if (std::filesystem::exists("/dev/full")) {
        const Outcome full = status("embedded", "", "/dev/full");
        EXPECT_EQ(full.code, 2) << full.err;
        EXPECT_TRUE(contains(full.err, "/dev/full: it is a device node, not a regular file"))
            << full.err;
        EXPECT_FALSE(contains(full.out, "CPU mode"));
    }
}

TEST(CliStatus, TraceWritesEveryFrame) {
    TempDir dir;
    const std::string trace = dir.file("trace.txt");
    ASSERT_EQ(status("embedded", "", trace).code, 0);
    const auto bytes = test::readFile(trace);
    const std::string t(bytes.begin(), bytes.end());
    // Protocol test, identity read, password question, status read: four each way.
    int sent = 0;
    for (std::size_t at = t.find(">> 05 64"); at != std::string::npos;
         at = t.find(">> 05 64", at + 1)) {
        ++sent;
    }
    EXPECT_EQ(sent, 4) << t;
    EXPECT_TRUE(contains(t, ">> 05 64 74 00 07")) << "the protocol test";
}

TEST(CliDownload, RefusalsAndExitCodes) {
    const std::string press = std::string(DLU_SAMPLES_DIR) + "/Press.DWN";
    struct Case {
        std::string package;
        std::string conn;
        int code;
        const char* inErr;
        std::optional<bool> run = std::nullopt;
    };
    const Case cases[] = {
        // Downloaded, but the PLC refuses Remote RUN: said, and not a success.
        {press, "embedded?error-on=M:3", 1, "did not switch to Remote RUN", true},
        // Not a package: message 400.
        {DLU_SAMPLES_DIR "/README.md", "embedded", 2, "Download File Error."},
        {"/no/such/file.DWN", "embedded", 2, "Download File Error."},
        // The key switch at LOCAL: 661 asks to turn it; without a terminal that is Cancel.
        {press, "embedded?key=local&mode=run", 1, "cannot be downloaded with current CPU mode"},
        // REMOTE RUN: the Remote STOP question, without a terminal answered No; nothing is sent.
        {press, "embedded?mode=run", 1, "CPU mode will be changed to 'Remote STOP'"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::string package = c.package;
        if (fs::exists(package)) {
            package = dir.file(fs::path(package).filename().string());
            fs::copy_file(c.package, package);
        }
        const Outcome r = cli([&](TerminalPrompter& p, const Messages& en, std::ostream& out) {
            return runDownload({package, c.run}, {c.conn, {}, {}, {}}, p, en, out);
        });
        EXPECT_EQ(r.code, c.code) << c.package << " " << c.conn << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.inErr)) << c.package << " " << c.conn << "\n" << r.err;
        if (!c.run) {
            EXPECT_FALSE(contains(r.err, "Download succeeded.")) << r.err;
        }
    }
}

class CliBackup : public ::testing::Test {
protected:
    std::string path(const char* name) const { return dir_.file(name); }

    static Outcome backup(BackupOptions options, const std::string& conn, std::string trace = {}) {
        return cli([&](TerminalPrompter& p, const Messages& en, std::ostream&) {
            return runBackup(options, {conn, {}, {}, trace}, p, en);
        });
    }
    static Outcome restore(RestoreOptions options, const std::string& conn,
                           std::string trace = {}) {
        return cli([&](TerminalPrompter& p, const Messages& en, std::ostream&) {
            return runRestore(options, {conn, {}, {}, trace}, p, en);
        });
    }

    TempDir dir_;
};

TEST_F(CliBackup, DefaultSetAndAreaChoicesOfTheEmbeddedPlc) {
    struct Case {
        std::vector<std::string> areas;
        bool withDefault;
        std::uint16_t mask;
        int area; // one area whose range is checked
        PdmImage::Range16 range;
    };
    constexpr auto bit = [](AreaIndex a) {
        return static_cast<std::uint16_t>(1u << static_cast<int>(a));
    };
    const auto mlkd = static_cast<std::uint16_t>(bit(AreaIndex::M) | bit(AreaIndex::L) |
                                                 bit(AreaIndex::K) | bit(AreaIndex::D));
    const int x = static_cast<int>(AreaIndex::X);
    const auto tcCap = DeviceRanges::capacity(kTC, 26);
    const Case cases[] = {
        {{}, false, mlkd, kD, {0, 32000}},
        {{"X:3-50"}, true, static_cast<std::uint16_t>(mlkd | bit(AreaIndex::X)), x, {3, 50}},
        {{"tc"}, false, bit(AreaIndex::TC), kTC, {0, static_cast<std::uint16_t>(tcCap)}},
        {{"all", "D:5-6"}, false, 0xFFFF, kD, {5, 6}},
    };
    const PdmImage plc = seededA21(3);
    for (const auto& c : cases) {
        const std::string file = path("d.PDM");
        const Outcome r = backup({"A-21", file, c.areas, c.withDefault}, "embedded?seed=3");
        ASSERT_EQ(r.code, 0) << r.err;
        const PdmImage image = loaded(file);
        EXPECT_EQ(image.mask(), c.mask) << c.area;
        EXPECT_EQ(image.range(c.area), c.range) << c.area;
        for (std::uint32_t w = c.range.start; w < c.range.end; ++w) {
            ASSERT_EQ(image.word(c.area, w), plc.word(c.area, w)) << c.area << " word " << w;
        }
    }
}

TEST_F(CliBackup, BadInputIsRefusedBeforeAnythingIsSent) {
    {
        PdmImage image;
        image.setFlag(1);
        image.setMask(static_cast<std::uint16_t>(1u << kD));
        image.setRange(kD, {0, 250});
        ASSERT_EQ(PdmFile::save(path("d.PDM"), image), PdmFile::SaveResult::Saved);
        // A whole file whose flag says nothing was read (the dialog refuses to save one).
        auto bytes = image.fileBytes();
        bytes[0] = 0;
        test::writeFile(path("flag0.PDM"), test::Bytes(bytes.begin(), bytes.end()));
        test::writeFile(path("empty.PDM"), {});
        test::writeFile(path("short.PDM"), test::Bytes(1000, 1));
        test::writeFile(path("empty.BIN"), {});
    }
    const std::string out = path("out.PDM");
    const std::string trace = path("trace.txt");
    struct Case {
        std::vector<std::string> areas;
        const char* inErr;
        std::string cpu = "A-21";
        std::string output = {};
    };
    const Case backups[] = {
        {{"Q:0-1"}, "unknown area 'Q'"},
        {{"D:0-32001"}, "beyond the D area"},
        {{"D:251-250"}, "start is above the end"},
        {{"D:7-7"}, "empty"},
        {{"D:0-25x"}, "AREA:START-END"},
        {{}, "unknown CPU type", "Z-99"},
        {{}, "x.PDM: No such file or directory", "A-21", path("no/such/x.PDM")},
    };
    for (const auto& c : backups) {
        const Outcome r =
            backup({c.cpu, c.output.empty() ? out : c.output, c.areas, false}, "embedded", trace);
        EXPECT_EQ(r.code, 2) << c.inErr << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.inErr)) << r.err;
        EXPECT_FALSE(fs::exists(trace)) << c.inErr << ": no connection was opened";
        EXPECT_FALSE(fs::exists(out)) << c.inErr;
    }
    const Case restores[] = {
        {{"F"}, "never writes F"},
        {{"T"}, "never writes T"},
        {{"C:0-10"}, "never writes C"},
        {{"S"}, "never writes S"},
        {{"Z"}, "never writes Z"},
        {{"R"}, "never writes R"},
        {{"TS"}, "may not write TS", "10"},
        {{"CS"}, "may not write CS", "14"},
        {{"D", "TS"}, "may not write TS", "34"},
        {{"M"}, "holds no M words"},
        {{"D:0-300"}, "outside the file's"},
        {{}, "missing.PDM: No such file or directory", "A-21", path("missing.PDM")},
        {{}, "is empty", "A-21", path("empty.PDM")},
        {{}, "shorter than a device memory file", "A-21", path("short.PDM")},
        {{}, "holds no device memory", "A-21", path("flag0.PDM")},
    };
    for (const auto& c : restores) {
        const std::string file = c.output.empty() ? path("d.PDM") : c.output;
        const Outcome r = restore({file, c.cpu, c.areas}, "embedded", trace);
        EXPECT_EQ(r.code, 2) << c.inErr << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.inErr)) << r.err;
        EXPECT_FALSE(fs::exists(trace)) << c.inErr << ": no connection was opened";
    }
    const struct {
        bool backup;
        std::string cpu;
        std::string file;
        const char* inErr;
    } linuxCases[] = {
        {true, "A-01", path("i.BIN"), "no Linux device image"},
        {false, "A-21", path("empty.BIN"), "is empty"},
        {false, "27", path("missing.BIN"), "missing.BIN: No such file or directory"},
    };
    for (const auto& c : linuxCases) {
        const Outcome r = cli([&](TerminalPrompter& p, const Messages& en, std::ostream&) {
            const LinuxTransferOptions options{c.cpu, c.file};
            const ConnectionOptions conn{"embedded", {}, {}, trace};
            return c.backup ? runLinuxBackup(options, conn, p, en)
                            : runLinuxRestore(options, conn, p, en);
        });
        EXPECT_EQ(r.code, 2) << c.inErr << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.inErr)) << r.err;
        EXPECT_FALSE(fs::exists(trace)) << c.inErr;
    }
}

TEST_F(CliBackup, PlcFailuresExitWithOne) {
    ASSERT_EQ(backup({"A-21", path("src.PDM"), {"D:0-10"}, false}, "embedded").code, 0);
    // The PLC is another CPU type: the connection's type check stops it.
    const Outcome r = restore({path("src.PDM"), "A-22", {}}, "embedded?identity=A-21");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_FALSE(contains(r.err, "Device Download")) << r.err;
    // A PLC without a device image: nothing written.
    const Outcome none = cli([&](TerminalPrompter& p, const Messages& en, std::ostream&) {
        return runLinuxBackup({"A-21", path("none.BIN")}, {"embedded", {}, {}, {}}, p, en);
    });
    EXPECT_EQ(none.code, 1) << none.err;
    EXPECT_FALSE(fs::exists(path("none.BIN")));
}

// A Linux device image restore replaces the PLC's whole image: without a Yes (no terminal
// to ask, no --yes) nothing is sent; with it the image read back is the file.
TEST_F(CliBackup, LinuxRestoreAsksBeforeReplacingTheImage) {
    const std::string bin = path("i.BIN");
    std::ofstream(bin, std::ios::binary) << std::string(300, 'x');
    const Messages en(Language::English);
    for (const bool yes : {false, true}) {
        TerminalPrompter prompter;
        if (yes) {
            prompter.setAnswerPolicy(
                [](std::string_view, PromptButtons) { return std::optional{PromptAnswer::Yes}; });
        }
        const Outcome r = capture([&](std::ostream&) {
            return runLinuxRestore({"A-21", bin, true}, {"embedded", {}, {}, {}}, prompter, en);
        });
        EXPECT_EQ(r.code, yes ? 0 : 1) << r.err;
        EXPECT_TRUE(contains(r.err, "The file is 300 bytes; the PLC's image will be replaced."))
            << r.err;
        EXPECT_EQ(contains(r.err, "Verified 150 words"), yes) << r.err;
        EXPECT_EQ(contains(r.err, "nothing was sent"), !yes) << r.err;
    }
}

TEST(CliPdmShow, TextAndJson) {
    TempDir dir;
    const std::string file = dir.file("p.PDM");
    // D 0-3 and TC 4-6 selected; TC word 3 lies outside its range, CS 4055 is the last CS
    // word a file holds.
    PdmImage image;
    image.setFlag(1);
    image.setMask(static_cast<std::uint16_t>((1u << kD) | (1u << kTC)));
    image.setRange(kD, {0, 3});
    image.setRange(kTC, {4, 6});
    image.setWord(kD, 1, 255);
    image.setWord(kD, 2, 65535);
    image.setWord(kTC, 3, 7);
    image.setWord(kTC, 4, 4660);
    image.setWord(kTC, 5, 10);
    image.setWord(kCS, 4055, 43981);
    ASSERT_EQ(PdmFile::save(file, image), PdmFile::SaveResult::Saved);
    struct Case {
        PdmShowOptions options;
        int code;
        std::string out;
    };
    const std::string head = "Device     DEC  HEX\n";
    const Case cases[] = {
        {{file, "", {}, {}, false},
         0,
         head + "D00000       0  H0000\nD00001     255  H00FF\nD00002   65535  HFFFF\n"
                "TC0004    4660  H1234\nTC0005      10  H000A\n"},
        {{file, "tc", 3, 2, false}, 0, head + "TC0003       7  H0007\nTC0004    4660  H1234\n"},
        {{file, "CS", 4054, {}, false}, 0, head + "CS4054       0  H0000\nCS4055   43981  HABCD\n"},
        {{file, "D", 1, 1, true},
         0,
         "[\n  {\"area\": \"D\", \"word\": 1, \"name\": \"D00001\", \"dec\": 255, "
         "\"hex\": \"H00FF\"}\n]\n"},
        {{file, "TC", {}, {}, true},
         0,
         "[\n  {\"area\": \"TC\", \"word\": 4, \"name\": \"TC0004\", \"dec\": 4660, "
         "\"hex\": \"H1234\"},\n  {\"area\": \"TC\", \"word\": 5, \"name\": \"TC0005\", "
         "\"dec\": 10, \"hex\": \"H000A\"}\n]\n"},
        {{file, "Q", {}, {}, false}, 2, ""},
        {{file, "CS", 4056, {}, false}, 2, ""},
        {{dir.file("missing.PDM"), "", {}, {}, false}, 2, ""},
    };
    for (const auto& c : cases) {
        const Outcome r = capture([&](std::ostream& out) { return runPdmShow(c.options, out); });
        EXPECT_EQ(r.code, c.code) << c.options.area << r.err;
        EXPECT_EQ(r.out, c.out) << c.options.area;
    }
}

// Both samples as dlutil info shows them: the JSON form field by field against the sample's
// description, the text form in both languages.
TEST(CliInfo, SamplesInJsonAndText) {
    for (const char* name : {"Conveyor", "Press"}) {
        const std::string base = std::string(DLU_SAMPLES_DIR) + "/" + name;
        const auto described = test::readFile(base + ".json");
        const Json info = Json::parse(std::string(described.begin(), described.end()))["info"];
        TempDir dir;
        const std::string package = dir.file(std::string(name) + ".DWN");
        fs::copy_file(base + ".DWN", package);

        TerminalPrompter prompter;
        const Messages en(Language::English);
        const Outcome json = capture([&](std::ostream& out) {
            return runInfo({package, true}, prompter, en, out);
        });
        ASSERT_EQ(json.code, kExitOk) << json.err;
        EXPECT_EQ(Json::parse(json.out), info) << name;

        for (const Language lang : {Language::English, Language::Korean}) {
            const Messages m(lang);
            const Outcome text = capture([&](std::ostream& out) {
                return runInfo({package, false}, prompter, m, out);
            });
            ASSERT_EQ(text.code, kExitOk) << text.err;
            const auto cpu = static_cast<CpuType>(info["cpu_type"].get<long long>());
            for (const std::string& expected : {
                     std::string(m(510)) + " " + info["project"].get<std::string>() + "\n",
                     "CPU Type : " + std::to_string(cpu) + " (" +
                         info["cpu_name"].get<std::string>() + ")\n",
                     std::string(m(511)) + " " +
                         formatProjectSize(
                             static_cast<std::uint32_t>(info["size"].get<long long>())) +
                         "\n",
                     std::string(m(452)),
                 }) {
                EXPECT_TRUE(contains(text.out, expected)) << expected << "\n" << text.out;
            }
            // Every row, programs before ST programs (their numbering: ProjectListingTest).
            std::size_t at = 0;
            for (const auto* list : {&info["programs"], &info["st_programs"]}) {
                for (const Json& row : *list) {
                    at = text.out.find(" " + row["name"].get<std::string>(), at);
                    EXPECT_NE(at, std::string::npos) << row << "\n" << text.out;
                }
            }
        }
        EXPECT_EQ(test::readFile(package), test::readFile(base + ".DWN"));
    }
}

// A message naming something from outside goes out escaped, its own lines kept.
TEST(CliOutput, PrompterMessagesAreEscaped) {
    std::FILE* shownTo = std::tmpfile();
    ASSERT_NE(shownTo, nullptr);
    TerminalPrompter(shownTo, nullptr).message("Entry \x1B[31mX\nbroken", PromptButtons::Ok);
    std::rewind(shownTo);
    char buf[128] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, shownTo);
    std::fclose(shownTo);
    EXPECT_EQ(std::string(buf, n), "Entry \\x1B[31mX\nbroken\n");
}

// Every command that prints a name from outside (a file name, a CPU type as given, a port's
// description, the names in a package) prints it escaped: no sequence in it can clear the
// screen, retitle the window or overwrite the line. --json keeps names as they are.
TEST(CliOutput, OutsideNamesAreEscaped) {
    TempDir dir;
    const std::string evil = "x\x1B]0;owned\x07\xC2\x9B";
    const std::string missing = dir.file(evil);
    TerminalPrompter prompter;
    const Messages en(Language::English);
    const ConnectionOptions embedded{"embedded", {}, {}, {}};
    const std::vector<PortListing> ports = {{"ttyUSB0", "/dev/ttyUSB0", evil, evil, true}};
    const std::string package = dir.file("Evil.DWN");
    test::PackageBuilder()
        .project(evil, 26)
        .baseName("Evil")
        .program(0, evil, 1)
        .st(1, evil)
        .write(package);
    const struct {
        const char* command;
        std::function<int(std::ostream&)> run;
    } cases[] = {
        {"download",
         [&](std::ostream& out) {
             return runDownload({missing + ".DWN", {}}, embedded, prompter, en, out);
         }},
        {"restore",
         [&](std::ostream&) {
             return runRestore({missing + ".PDM", "A-21", {}}, embedded, prompter, en);
         }},
        {"backup",
         [&](std::ostream&) {
             return runBackup({"A-21", missing + "/b.PDM", {}, false}, embedded, prompter, en);
         }},
        {"linux-restore",
         [&](std::ostream&) {
             return runLinuxRestore({"27", missing + ".BIN"}, embedded, prompter, en);
         }},
        {"info",
         [&](std::ostream& out) {
             return runInfo({package, false}, prompter, en, out);
         }},
        {"status",
         [&](std::ostream& out) { return runStatus({evil}, embedded, prompter, en, out); }},
        {"pdm-show",
         [&](std::ostream& out) {
             return runPdmShow({missing, "", {}, {}, false}, out);
         }},
        {"pdm-export",
         [&](std::ostream& out) {
             return runPdmExport({missing, "", true}, out, out);
         }},
        {"pdm-import",
         [&](std::ostream& out) {
             return runPdmImport({missing + ".csv", dir.file("o.PDM"), "A-21"}, out, out);
         }},
        {"ports",
         [&](std::ostream& out) {
             out << portsText(ports, false);
             return 0;
         }},
    };
    for (const auto& c : cases) {
        const Outcome r = capture(c.run);
        const std::string shown = r.out + r.err;
        EXPECT_TRUE(contains(shown, "x\\x1B]0;owned\\x07\\xC2\\x9B")) << c.command << ": " << shown;
        EXPECT_EQ(shown.find_first_of("\x1B\x07"), std::string::npos) << c.command;
        EXPECT_FALSE(contains(shown, "\xC2\x9B")) << c.command;
    }
    const Outcome json = capture([&](std::ostream& out) {
        return runInfo({package, true}, prompter, en, out);
    });
    ASSERT_EQ(json.code, kExitOk) << json.err;
    EXPECT_EQ(Json::parse(json.out)["project"], evil);

    // A name in the programming tool's legacy Korean code page, and one cut inside a UTF-8
    // character, are not UTF-8: --json writes each byte as the character of its value.
    const std::string legacy = dir.file("Legacy.DWN");
    test::PackageBuilder()
        .project("\xB0\xA1\xB0\xA1" "A\xED\x95", 26)
        .baseName("Legacy")
        .program(0, "P", 1)
        .write(legacy);
    const Outcome legacyJson = capture([&](std::ostream& out) {
        return runInfo({legacy, true}, prompter, en, out);
    });
    ASSERT_EQ(legacyJson.code, kExitOk) << legacyJson.err;
    EXPECT_TRUE(contains(legacyJson.out,
                         "\"project\": \"\\u00b0\\u00a1\\u00b0\\u00a1A\\u00ed\\u0095\""))
        << legacyJson.out;
}

// What can stand at a file name the user gives. Only a regular file (or nothing) is ever
// written; a reader takes a regular file, through a link too, and never waits on a pipe.
enum class Target { Regular, Missing, Directory, Node, Fifo, Link };

struct TargetCase {
    Target target;
    const char* name;
    const char* kind; // what the refusal names; empty: taken
};

constexpr TargetCase kTargets[] = {
    {Target::Regular, "regular file", ""},      {Target::Missing, "missing", ""},
    {Target::Directory, "directory", "a directory"}, {Target::Node, "node", "a device node"},
    {Target::Fifo, "FIFO", "a named pipe"},     {Target::Link, "link", "a symbolic link"},
};

// Makes `target` at `path` (`content` for a regular file, and for the file a link leads to).
// A device node needs root to make: without it, /dev/null itself stands in.
std::string makeTarget(const TempDir& dir, const std::string& name, Target target,
                       const std::string& content) {
    std::string path = dir.file(name);
    switch (target) {
    case Target::Regular:
        std::ofstream(path, std::ios::binary) << content;
        break;
    case Target::Missing:
        break;
    case Target::Directory:
        fs::create_directory(path);
        break;
    case Target::Node:
        if (::geteuid() != 0 || ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) {
            path = "/dev/null";
        }
        break;
    case Target::Fifo:
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        break;
    case Target::Link:
        std::ofstream(dir.file(name + ".victim"), std::ios::binary) << content;
        fs::create_symlink(dir.file(name + ".victim"), path);
        break;
    }
    return path;
}

// What stands at `path` now, by lstat.
std::string standing(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return "nothing";
    }
    return S_ISREG(st.st_mode)    ? "regular"
           : S_ISDIR(st.st_mode)  ? "directory"
           : S_ISLNK(st.st_mode)  ? "link"
           : S_ISFIFO(st.st_mode) ? "fifo"
           : S_ISCHR(st.st_mode)  ? "node"
                                  : "other";
}

TEST(CliFileTargets, OnlyRegularFilesAreWrittenOrRead) {
    PdmImage image;
    image.setFlag(1);
    image.setMask(1u << kD);
    image.setRange(kD, {0, 3});
    image.setWord(kD, 1, 77);
    const std::string csv = "area,address,dec,hex\nD,1,77,H004D\n";
    using Writer = std::function<Outcome(const std::string& target, const std::string& scratch)>;
    const struct {
        const char* name;
        Writer run;
    } writers[] = {
        {"backup -o",
         [](const std::string& t, const std::string&) {
             return cli([&](TerminalPrompter& p, const Messages& en, std::ostream&) {
                 return runBackup({"A-21", t, {"D:0-3"}, false}, {"embedded", {}, {}, {}}, p, en);
             });
         }},
        {"linux-backup -o",
         [](const std::string& t, const std::string&) {
             return cli([&](TerminalPrompter& p, const Messages& en, std::ostream&) {
                 return runLinuxBackup({"A-21", t}, {"embedded?image=600", {}, {}, {}}, p, en);
             });
         }},
        {"pdm import -o",
         [&](const std::string& t, const std::string& scratch) {
             std::ofstream(scratch, std::ios::binary) << csv;
             return cli([&](TerminalPrompter&, const Messages&, std::ostream& out) {
                 return runPdmImport({scratch, t, "A-21"}, out, out);
             });
         }},
        {"--trace",
         [](const std::string& t, const std::string&) { return status("embedded", "A-21", t); }},
    };
    for (const auto& w : writers) {
        for (const auto& c : kTargets) {
            SCOPED_TRACE(std::string(w.name) + " onto a " + c.name);
            TempDir dir;
            const std::string target = makeTarget(dir, "target.PDM", c.target, "old");
            const std::string before = standing(target);
            const Outcome r = w.run(target, dir.file("in.csv"));
            if (*c.kind == '\0') {
                EXPECT_EQ(r.code, 0) << r.err;
                EXPECT_EQ(standing(target), "regular");
                continue;
            }
            EXPECT_EQ(r.code, 2) << r.err << r.out;
            EXPECT_TRUE(
                contains(r.err + r.out, std::string("it is ") + c.kind + ", not a regular file"))
                << r.err << r.out;
            EXPECT_EQ(standing(target), before) << "what stood there stays";
            if (c.target == Target::Link) {
                std::ifstream in(dir.file("target.PDM.victim"));
                EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
            }
        }
    }

    using Reader = std::function<Outcome(const std::string& file, const std::string& good)>;
    const struct {
        const char* name;
        bool csvInput;
        Reader run;
    } readers[] = {
        {"pdm show", false,
         [](const std::string& f, const std::string&) {
             return cli([&](TerminalPrompter&, const Messages&, std::ostream& out) {
                 return runPdmShow({f, "", {}, {}, false}, out);
             });
         }},
        {"pdm diff", false,
         [](const std::string& f, const std::string& good) {
             return cli([&](TerminalPrompter&, const Messages&, std::ostream& out) {
                 return runPdmDiff({good, f, "", false}, out, out);
             });
         }},
        {"pdm export", false,
         [](const std::string& f, const std::string&) {
             return cli([&](TerminalPrompter&, const Messages&, std::ostream& out) {
                 return runPdmExport({f, "", true}, out, out);
             });
         }},
        {"restore", false,
         [](const std::string& f, const std::string&) {
             return cli([&](TerminalPrompter& p, const Messages& en, std::ostream&) {
                 return runRestore({f, "A-21", {}}, {"embedded", {}, {}, {}}, p, en);
             });
         }},
        {"pdm import", true,
         [](const std::string& f, const std::string& good) {
             return cli([&](TerminalPrompter&, const Messages&, std::ostream& out) {
                 return runPdmImport({f, good + ".out.PDM", "A-21"}, out, out);
             });
         }},
    };
    for (const auto& rd : readers) {
        for (const auto& c : kTargets) {
            SCOPED_TRACE(std::string(rd.name) + " of a " + c.name);
            TempDir dir;
            const std::string good = dir.file("good.PDM");
            ASSERT_EQ(PdmFile::save(good, image), PdmFile::SaveResult::Saved);
            std::string content;
            if (rd.csvInput) {
                content = csv;
            } else {
                std::ifstream in(good, std::ios::binary);
                content.assign(std::istreambuf_iterator<char>(in), {});
            }
            const std::string file = makeTarget(dir, "in.PDM", c.target, content);
            const Outcome r = rd.run(file, good);
            if (c.target == Target::Regular || c.target == Target::Link) {
                EXPECT_EQ(r.code, 0) << r.err << r.out; // a link to a regular file is read
                continue;
            }
            EXPECT_EQ(r.code, 2) << r.err << r.out;
            const std::string why = c.target == Target::Missing
                                        ? std::string("No such file or directory")
                                        : std::string("it is ") + c.kind + ", not a regular file";
            EXPECT_TRUE(contains(r.err + r.out, why)) << r.err << r.out;
        }
    }
}

// `dlutil ports --json`: an array of objects with the documented keys and types, text from the
// device kept as it is; an empty array when there are no ports.
TEST(CliPorts, JsonShape) {
    const std::vector<PortListing> listed = {
        {"ttyUSB0", "/dev/ttyUSB0", "FT232R \"USB\" \\ UART\x01", "FTDI", true, 16, false},
        {"ttyS0", "/dev/ttyS0", "", "", false, std::nullopt, false},
    };
    std::ostringstream system;
    ASSERT_EQ(runPorts({true}, system), 0);
    for (const std::string& text : {portsText(listed, true), portsText({}, true), system.str()}) {
        const Json ports = Json::parse(text);
        ASSERT_TRUE(ports.is_array()) << text;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const Json& p = ports[i];
            ASSERT_TRUE(p.is_object()) << text;
            EXPECT_EQ(p.size(), 7u) << text;
            EXPECT_EQ(p.at("index"), i);
            for (const char* key : {"name", "path", "description", "manufacturer"}) {
                EXPECT_TRUE(p.at(key).is_string()) << key;
            }
            EXPECT_TRUE(p.at("usb").is_boolean());
            EXPECT_TRUE(p.at("latency_ms").is_null() || p.at("latency_ms").is_number_unsigned());
        }
    }
    const Json ports = Json::parse(portsText(listed, true));
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0]["description"], listed[0].description);
    EXPECT_EQ(ports[0]["usb"], true);
    EXPECT_EQ(ports[1]["path"], "/dev/ttyS0");
    EXPECT_EQ(ports[0]["latency_ms"], 16);
    EXPECT_TRUE(ports[1]["latency_ms"].is_null());
    EXPECT_EQ(Json::parse(portsText({}, true)), Json::array());
}

// The table shows each adapter's latency timer and, once, how an administrator lowers one that
// this user cannot; nothing of the kind when every timer is low or writable.
TEST(CliPorts, LatencyTimersAndTheAdviceOnce) {
    const auto adapter = [](const char* name, std::optional<unsigned> ms, bool writable) {
        return PortListing{name, std::string("/dev/") + name, "", "", true, ms, writable};
    };
    const struct {
        std::vector<PortListing> ports;
        bool advised;
    } cases[] = {
        {{adapter("ttyUSB0", 16, false), adapter("ttyUSB1", 16, false)}, true},
        {{adapter("ttyUSB0", 16, true), adapter("ttyUSB1", 1, false)}, false},
        {{adapter("ttyACM0", std::nullopt, false)}, false},
    };
    for (const auto& c : cases) {
        const std::string text = portsText(c.ports, false);
        const auto first = text.find("An administrator sets it to 1 ms");
        EXPECT_EQ(first != std::string::npos, c.advised) << text;
        if (c.advised) {
            EXPECT_NE(text.find("16 ms"), std::string::npos) << text;
            EXPECT_NE(text.find("/sys/bus/usb-serial/devices/ttyUSB0/latency_timer"),
                      std::string::npos)
                << text;
            EXPECT_EQ(text.find("An administrator", first + 1), std::string::npos) << text;
        }
    }
}

TEST(CliInfo, NotAPackageExitsWithTwo) {
    TempDir dir;
    test::writeFile(dir.file("notes.DWN"), test::Bytes(100, 'x'));
    const Messages m(Language::Korean);
    for (const std::string& file : {dir.file("notes.DWN"), dir.file("missing.DWN")}) {
        TerminalPrompter prompter;
        const Outcome r = capture([&](std::ostream& out) {
            return runInfo({file, false}, prompter, m, out);
        });
        EXPECT_EQ(r.code, kExitNotAPackage) << file;
        // A file that is not there says so, in the system's words, before message 400; the
        // reader's cause line follows the message.
        const bool missing = file == dir.file("missing.DWN");
        const std::string before =
            missing ? "dlutil: cannot read " + file + ": No such file or directory\n" : "";
        const std::string cause = missing ? "the file does not exist" : "not an encrypted package";
        EXPECT_EQ(r.err, before + std::string(m(400)) + "\n" + cause + "\n") << file;
        EXPECT_TRUE(r.out.empty());
    }
}

} // namespace
} // namespace dlu
