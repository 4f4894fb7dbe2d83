// dlutil run as a process: one run per command, checking its exit code and the shape of its
// output, over the real channels to plcsim where the command talks to a PLC; and the program's
// own option handling (passwords, --yes/--no, usage errors). What each command does in detail
// is checked in this process (CliCommandsTest.cpp).
#include "support/ChildProcess.h"

#include "PackageBuilder.h"
#include "PackageTestUtil.h"

#include "comm/PasswordCipher.h"
#include "common/Crypto.h"
#include "devmem/PdmFile.h"
#include "devmem/PdmImage.h"
#include "plc/DeviceArea.h"
#include "sim/PlcSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <fstream>
#include <iterator>

namespace dlu {
namespace {

using test::ChildProcess;
using test::run;
namespace fs = std::filesystem;

const std::string kSamples = DLU_SAMPLES_DIR;
constexpr int kD = static_cast<int>(AreaIndex::D);
constexpr int kM = static_cast<int>(AreaIndex::M);

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string joined(const std::vector<std::string>& args) {
    std::string out;
    for (const auto& a : args) {
        out += a + " ";
    }
    return out;
}

test::RunResult dlutil(std::vector<std::string> args, std::vector<std::string> env = {}) {
    args.insert(args.begin(), {"--lang", "en"});
    return run(DLUTIL_PATH, args, std::move(env));
}

// A plcsim on a free port with `args`; its connection string ("" when it did not start).
struct Plcsim {
    explicit Plcsim(std::vector<std::string> args) : process(PLCSIM_PATH, withPort(args)) {
        const int port = test::listeningPort(process.line());
        conn = port > 0 ? "sim://127.0.0.1:" + std::to_string(port) : std::string();
    }
    static std::vector<std::string> withPort(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", "0"});
        return args;
    }
    ChildProcess process;
    std::string conn;
};

class Dlutil : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_.file(name); }
    // A copy of a sample package: opening one writes beside it.
    std::string sample(const std::string& name) const {
        fs::copy_file(kSamples + "/" + name, path(name), fs::copy_options::overwrite_existing);
        return path(name);
    }

    test::TempDir dir_;
};

// "XX XX ..." as the trace writes bytes, of `bytes` as they are and with each word's two bytes
// swapped (the form a word read answers with).
std::vector<std::string> traceForms(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::string> forms;
    for (const bool swapped : {false, true}) {
        std::string hex;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const std::size_t k = swapped ? (i ^ 1u) : i;
            if (k >= bytes.size()) {
                break;
            }
            char buf[4];
            std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(bytes[k]));
            hex += (hex.empty() ? "" : " ") + std::string(buf);
        }
        forms.push_back(hex);
    }
    return forms;
}

// Every form a PLC keeps its password in, logged in to with a trace to a file: neither the
// password nor a block made from it is in any file dlutil leaves behind (trace, settings).
TEST_F(Dlutil, NoPasswordInTheTraceOrTheSettings) {
    const std::string secret = "secret123";
    const auto crypto = Crypto::open();
    const PasswordCipher cipher(crypto.get());
    std::vector<std::string> patterns{secret};
    const auto textBytes = std::vector<std::uint8_t>(secret.begin(), secret.end());
    for (const auto& f : traceForms(textBytes)) {
        patterns.push_back(f);
    }
    for (const auto& block : {cipher.encrypt(secret), cipher.encryptOld(secret)}) {
        ASSERT_TRUE(block.has_value());
        // The encrypted bytes after the length byte, 8 of them: never by chance in a frame.
        for (const auto& f :
             traceForms(std::vector<std::uint8_t>(block->begin() + 2, block->begin() + 10))) {
            patterns.push_back(f);
        }
    }
    for (const char* form :
         {"exchange", "exchange-old", "exchange-plain", "stored", "stored-plain"}) {
        Plcsim plcsim({"--password", secret, "--password-form", form});
        ASSERT_FALSE(plcsim.conn.empty()) << form;
        const std::string home = path(std::string("home-") + form);
        fs::create_directories(home);
        const std::string trace = home + "/trace.txt";
        const auto r =
            dlutil({"--password", secret, "--trace", trace, "status", "--conn", plcsim.conn},
                   {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config"});
        EXPECT_EQ(r.code, 0) << form << r.err;
        ASSERT_TRUE(fs::file_size(trace) > 0) << form;
        for (const auto& file : fs::recursive_directory_iterator(home)) {
            if (!file.is_regular_file()) {
                continue;
            }
            std::ifstream in(file.path(), std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
            for (const auto& p : patterns) {
                EXPECT_FALSE(contains(text, p))
                    << form << ": " << file.path() << " holds " << p << "\n"
                    << text;
            }
        }
    }
}

TEST_F(Dlutil, InfoPrintsTheProject) {
    const auto text = dlutil({"info", sample("Conveyor.DWN")});
    EXPECT_EQ(text.code, 0) << text.err;
    EXPECT_TRUE(contains(text.out, "Project Name : Conveyor\nCPU Type : 26 (A-21)\n")) << text.out;
    const auto json = dlutil({"info", "--json", sample("Press.DWN")});
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_TRUE(json.out.starts_with("{\n  \"project\": \"Press\",\n")) << json.out;
}

TEST_F(Dlutil, StatusOfALockedPlcsimOverTcp) {
    Plcsim plcsim({"--password", "secret", "--key", "remote", "--mode", "run"});
    ASSERT_FALSE(plcsim.conn.empty());
    struct Case {
        std::vector<std::string> options;
        std::vector<std::string> env;
        int code;
        const char* inErr;
    };
    const Case cases[] = {
        {{}, {"DLUTIL_PASSWORD=secret"}, 0, ""},
        {{"--password", "secret"}, {"DLUTIL_PASSWORD=wrong"}, 0, ""}, // the option wins
        {{"--password", "Secret"}, {}, 1, "Invalid Password"},
        // No password and no terminal to ask on: says how to give one.
        {{}, {}, 1, "DLUTIL_PASSWORD"},
    };
    for (const auto& c : cases) {
        auto args = c.options;
        args.insert(args.end(), {"status", "--conn", plcsim.conn});
        const auto r = dlutil(args, c.env);
        EXPECT_EQ(r.code, c.code) << joined(args) << r.err;
        EXPECT_TRUE(contains(r.err, c.inErr)) << r.err;
        EXPECT_EQ(contains(r.out, "PLC CPU type   : A-21 "), c.code == 0) << r.out;
        EXPECT_EQ(contains(r.out, "CPU mode       : REMOTE RUN\n"), c.code == 0) << r.out;
        EXPECT_EQ(contains(r.out, "Station header : used\n"), c.code == 0) << r.out;
    } // Nothing listens: the channel does not open.
    const auto closed = dlutil({"status", "--conn", "tcp://127.0.0.1:1", "--timeout", "1"});
    EXPECT_EQ(closed.code, 1);
    EXPECT_TRUE(contains(closed.err, "Failed to initialize the COM library module.")) << closed.err;
}

// The working folders of the runs in `runtime`, each with the files of its unpack folder and,
// for as long as the package is being unpacked, "../" + the name of the decrypted archive.
std::map<std::string, std::vector<std::string>> workingFolders(const std::string& runtime) {
    std::map<std::string, std::vector<std::string>> found;
    for (const auto& e : fs::directory_iterator(runtime)) {
        if (e.path().filename().string().rfind("dlutil-", 0) != 0) {
            continue;
        }
        auto& files = found[e.path().string()];
        std::error_code ec;
        for (fs::directory_iterator it(e.path(), ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name != "unpacked" && name != "owner.pid" && name != ".owner.pid") {
                files.push_back("../" + name);
            }
        }
        for (fs::directory_iterator it(e.path() / "unpacked", ec), end; !ec && it != end;
             it.increment(ec)) {
            files.push_back(it->path().filename().string());
        }
        std::sort(files.begin(), files.end());
    }
    return found;
}

// Starts a download that the embedded PLC leaves hanging at its first block and waits until
// the run has shown its plan (every file of the package read by then); the run's working
// folder, or "" when none came.
std::string hangingDownload(std::unique_ptr<ChildProcess>& child, const std::string& runtime,
                            const std::map<std::string, std::vector<std::string>>& before) {
    child = std::make_unique<ChildProcess>(
        DLUTIL_PATH,
        std::vector<std::string>{"--lang", "en", "--yes", "download",
                                 std::string(DLU_EXAMPLES_DIR) + "/Demo.DWN", "--conn",
                                 "embedded?hang-on=D", "--timeout", "60"},
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + runtime});
    for (std::string line = child->errLine(20000); line.rfind("  Parameter:", 0) != 0;
         line = child->errLine(20000)) {
        if (line.empty()) {
            return {};
        }
    }
    for (const auto& [folder, files] : workingFolders(runtime)) {
        if (!before.contains(folder)) {
            return folder;
        }
    }
    return {};
}

TEST(DlutilWorkingFolder, AKilledRunsFolderGoesAtTheNextStartALiveOneStays) {
    test::TempDir runtime; // a runtime folder of this test's own (mode 0700)
    const std::string env = "XDG_RUNTIME_DIR=" + runtime.path();
    std::unique_ptr<ChildProcess> first;
    const std::string stale = hangingDownload(first, runtime.path(), {});
    ASSERT_FALSE(stale.empty()) << "the download never reached its first block";
    EXPECT_TRUE(fs::exists(fs::path(stale) / "owner.pid"));
    // Every file read into memory has left the disk; the project's description is all a
    // kill here leaves of the package.
    EXPECT_EQ(workingFolders(runtime.path()).at(stale), std::vector<std::string>{"Demo.INI"});
    first.reset(); // kill -9 in the middle of the download
    ASSERT_TRUE(fs::exists(stale)) << "a killed run cannot clean up after itself";

    std::unique_ptr<ChildProcess> second;
    const std::string live = hangingDownload(second, runtime.path(), workingFolders(runtime.path()));
    ASSERT_FALSE(live.empty());
    EXPECT_FALSE(fs::exists(stale)) << "the second run's start removed the killed one's folder";

    // Another start, while the second run still works: its folder stays whole.
    const auto before = workingFolders(runtime.path()).at(live);
    const auto info = dlutil({"info", std::string(DLU_EXAMPLES_DIR) + "/Demo.DWN"}, {env});
    EXPECT_EQ(info.code, 0) << info.err;
    EXPECT_EQ(workingFolders(runtime.path()).at(live), before);
    EXPECT_EQ(workingFolders(runtime.path()).size(), 1u) << "info leaves nothing behind";
}

// The sample and the README's demo packages: the embedded PLC lists what it received. --yes
// lets a running PLC be stopped and run again; --no-run leaves it stopped.
TEST_F(Dlutil, DownloadIntoTheEmbeddedSimulator) {
    const std::string examples = DLU_EXAMPLES_DIR;
    struct Case {
        std::vector<std::string> args;
        std::vector<const char*> received;
        const char* inErr;
    };
    const Case cases[] = {
        {{"download", sample("Press.DWN"), "--conn", "embedded", "--no-run"},
         {"   P   0      2     240\n", "   B   0..127 128    8192", "   C   1      4     952\n",
          "   C   3      1     100\n"},
         "-> No"},
        {{"--yes", "download", examples + "/Demo.DWN", "--conn", "embedded?mode=run"},
         {"   P   0      2     400\n", "   C   0      4     900\n", "   C   1      2     300\n",
          "   C   2      1     120\n"},
         "'Remote RUN'"},
        {{"--yes", "download", examples + "/LinuxDemo.DWN", "--conn", "embedded?mode=run"},
         {"   C   0      7    1500\n", "   l 127      1     100\n", "   T   0      1      64\n",
          "   t   0      1       4\n"},
         "Remote STOP"},
    };
    for (const auto& c : cases) {
        const auto r = dlutil(c.args);
        EXPECT_EQ(r.code, 0) << joined(c.args) << r.err;
        EXPECT_TRUE(contains(r.err, "Download succeeded.")) << r.err;
        EXPECT_TRUE(contains(r.err, c.inErr)) << joined(c.args) << r.err;
        for (const char* line : c.received) {
            EXPECT_TRUE(contains(r.out, line)) << joined(c.args) << " lacks " << line << r.out;
        }
    }
    // --no: the running PLC is not stopped, nothing is sent.
    const auto no =
        dlutil({"--no", "download", sample("Press.DWN"), "--conn", "embedded?mode=run"});
    EXPECT_EQ(no.code, 1) << no.err;
    EXPECT_TRUE(contains(no.err, "-> No")) << no.err;
    EXPECT_FALSE(contains(no.err, "Download succeeded.")) << no.err;
}

// An A-21 project offered to an A-01: without a terminal the question is answered No and
// nothing is sent; --yes goes on.
TEST_F(Dlutil, UncheckedCpuPairAsksBeforeAnythingIsSent) {
    const std::string linux = std::string(DLU_EXAMPLES_DIR) + "/LinuxDemo.DWN";
    const std::string conn = "embedded?identity=A-01&cpu-type=26&mode=run";
    const auto no = dlutil({"download", linux, "--conn", conn});
    EXPECT_EQ(no.code, 1) << no.err;
    EXPECT_TRUE(contains(no.err, "Go on with this PLC anyway?\n-> No (no terminal")) << no.err;
    EXPECT_FALSE(contains(no.err, "Remote STOP")) << no.err;
    EXPECT_FALSE(contains(no.out, "   C ")) << "nothing was downloaded\n" << no.out;

    const auto yes = dlutil({"--yes", "download", linux, "--conn", conn});
    EXPECT_EQ(yes.code, 0) << yes.err;
    EXPECT_TRUE(contains(yes.err, "Download succeeded.")) << yes.err;
}

// Ctrl-C in the middle of a download: it stops between two requests, says what the PLC holds
// and exits 1; the simulated PLC keeps whole items only.
TEST_F(Dlutil, CtrlCStopsTheDownloadBetweenTwoRequests) {
    const std::string linux = std::string(DLU_EXAMPLES_DIR) + "/LinuxDemo.DWN";
    ChildProcess p(DLUTIL_PATH, {"--lang", "en", "--yes", "download", linux, "--conn",
                                 "embedded?mode=run&baud=19200"});
    bool begun = false; // the "Downloading N items" line (an empty line reads as "")
    for (int i = 0; i < 100 && !begun; ++i) {
        begun = contains(p.errLine(20000), "Downloading ");
    }
    ASSERT_TRUE(begun) << p.err();
    p.errLine(20000); // the first item has begun
    p.signal(SIGINT);
    EXPECT_EQ(p.wait(60000), 1) << p.err();
    EXPECT_TRUE(contains(p.err(), "The download was stopped.\nThe PLC is in STOP and holds "))
        << p.err();
    EXPECT_TRUE(contains(p.err(), "Download the project again before you switch it to RUN."));
    EXPECT_FALSE(contains(p.err(), "Download succeeded.")) << p.err();
    EXPECT_FALSE(contains(p.err(), "Remote RUN")) << p.err();
    EXPECT_TRUE(contains(p.out(), "The simulated PLC received:")) << p.out();
    EXPECT_FALSE(contains(p.out(), "   t   0      1       4\n")) << "the last item was not sent";
}

// M and D backed up from one plcsim, D 10-20 restored into another, read back from it.
TEST_F(Dlutil, BackupAndRestoreBetweenTwoPlcsims) {
    Plcsim first({"--identity", "A-21", "--memory-seed", "4"});
    Plcsim second({"--memory-seed", "5"});
    ASSERT_FALSE(first.conn.empty());
    ASSERT_FALSE(second.conn.empty());
    const auto src = path("src.PDM");
    const auto b = dlutil({"backup", "--cpu", "A-21", "--area", "M:0-50", "--area", "D:0-250", "-o",
                           src, "--conn", first.conn});
    ASSERT_EQ(b.code, 0) << b.err;
    EXPECT_TRUE(contains(b.err, "<[D] Device Upload>")) << b.err;
    EXPECT_EQ(fs::file_size(src), PdmImage::kFileSize);

    const auto r =
        dlutil({"restore", src, "--cpu", "A-21", "--area", "d:10-20", "--conn", second.conn});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "<[D] Device Download>")) << r.err;

    const auto after = path("after.PDM");
    ASSERT_EQ(dlutil({"backup", "--cpu", "26", "--area", "M:0-50", "--area", "D:0-250", "-o", after,
                      "--conn", second.conn})
                  .code,
              0);
    PdmImage got;
    PdmImage backup;
    ASSERT_EQ(PdmFile::load(after, got), PdmFile::LoadResult::Loaded);
    ASSERT_EQ(PdmFile::load(src, backup), PdmFile::LoadResult::Loaded);
    EXPECT_EQ(backup.range(kD), (PdmImage::Range16{0, 250}));
    const auto seeded = [](std::uint32_t seed) {
        sim::PlcSimulator plc{sim::PlcConfig{}};
        plc.fillDeviceMemory(seed);
        return plc.deviceMemory();
    };
    const PdmImage four = seeded(4);
    const PdmImage five = seeded(5);
    int wrong = 0;
    for (std::uint32_t w = 0; w < 250; ++w) {
        wrong += backup.word(kD, w) != four.word(kD, w) ? 1 : 0;
        const bool written = w >= 10 && w < 20;
        wrong += got.word(kD, w) != (written ? four : five).word(kD, w) ? 1 : 0;
        wrong += w < 50 && got.word(kM, w) != five.word(kM, w) ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(Dlutil, LinuxImageBackupAndRestore) {
    Plcsim first({"--image-size", "1000", "--memory-seed", "5"});
    Plcsim second({"--image-size", "10", "--memory-seed", "6"});
    ASSERT_FALSE(first.conn.empty());
    ASSERT_FALSE(second.conn.empty());
    const auto bin = path("i.BIN");
    const auto b = dlutil({"linux-backup", "--cpu", "A-21", "-o", bin, "--conn", first.conn});
    ASSERT_EQ(b.code, 0) << b.err;
    EXPECT_TRUE(contains(b.err, "Upload Success")) << b.err;
    EXPECT_EQ(test::readFile(bin), sim::PlcSimulator::imagePattern(1000, 5));

    const auto r = dlutil({"linux-restore", bin, "--cpu", "26", "--yes", "--conn", second.conn});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "Download Success")) << r.err;
    const auto again = path("again.BIN");
    ASSERT_EQ(dlutil({"linux-backup", "--cpu", "A-21", "-o", again, "--conn", second.conn}).code,
              0);
    EXPECT_EQ(fs::file_size(again), 1000u);
}

TEST_F(Dlutil, PdmShowPrintsTheWords) {
    PdmImage image;
    image.setFlag(1);
    image.setMask(static_cast<std::uint16_t>(1u << kD));
    image.setRange(kD, {1, 3});
    image.setWord(kD, 1, 255);
    ASSERT_EQ(PdmFile::save(path("p.PDM"), image), PdmFile::SaveResult::Saved);
    const auto r = run(DLUTIL_PATH, {"pdm", "show", path("p.PDM")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Device     DEC  HEX\nD00001     255  H00FF\nD00002       0  H0000\n");
}

TEST_F(Dlutil, UsageErrorsExitWithTwo) {
    const std::vector<std::string> cases[] = {
        {"frobnicate"},
        {"status", "--timeout", "0"},
        {"--yes", "--no", "status", "--conn", "embedded"},
        {"download", sample("Press.DWN"), "--run", "--no-run", "--conn", "embedded"},
        {"backup", "--cpu", "A-21"},
    };
    for (const auto& args : cases) {
        const auto r = dlutil(args);
        EXPECT_EQ(r.code, 2) << joined(args) << r.err;
        EXPECT_TRUE(r.out.empty()) << joined(args) << r.out;
    }
}

} // namespace
} // namespace dlu
