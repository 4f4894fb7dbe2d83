// The operation record as dlutil writes it: one line per download or backup against the
// embedded PLC, with the SHA-256 of the package or of the written file as OpenSSL computes it
// here; a record that cannot be written only warns; dlutil history reads it back.
#include "support/ChildProcess.h"

#include "PackageBuilder.h"
#include "PackageTestUtil.h"

#include "cli/CommandRecord.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace dlu {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kSamples = DLU_SAMPLES_DIR;

// Every test points the record at a folder of its own (the suite turns it off elsewhere).
class History : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* v = std::getenv("DLUTIL_NO_HISTORY")) {
            savedNoHistory_ = v;
        }
        if (const char* v = std::getenv("XDG_STATE_HOME")) {
            savedState_ = v;
        }
        unsetenv("DLUTIL_NO_HISTORY");
        setenv("XDG_STATE_HOME", state().c_str(), 1);
    }
    void TearDown() override {
        restore("DLUTIL_NO_HISTORY", savedNoHistory_);
        restore("XDG_STATE_HOME", savedState_);
    }
    static void restore(const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }

    std::string state() const { return dir_.file("state"); }
    std::string historyFile() const { return state() + "/download-utility/history.jsonl"; }
    std::string sample(const std::string& name) const {
        fs::copy_file(kSamples + "/" + name, dir_.file(name), fs::copy_options::overwrite_existing);
        return dir_.file(name);
    }
    std::vector<json> records() const {
        std::vector<json> out;
        std::ifstream in(historyFile());
        for (std::string line; std::getline(in, line);) {
            out.push_back(json::parse(line));
        }
        return out;
    }
    test::RunResult dlutil(std::vector<std::string> args, std::vector<std::string> env = {}) {
        if (args.empty() || args[0] != "--lang") {
            args.insert(args.begin(), {"--lang", "en"});
        }
        return test::run(DLUTIL_PATH, args, std::move(env));
    }

    test::TempDir dir_;
    std::optional<std::string> savedNoHistory_;
    std::optional<std::string> savedState_;
};

TEST_F(History, EachOperationAppendsOneLineWithItsFileHash) {
    struct Case {
        std::vector<std::string> args;
        std::string file; // hashed after the run
        int code;
        std::string operation;
        std::string result;
        std::string project;
        bool plcKnown;
    };
    const std::string conveyor = sample("Conveyor.DWN");
    const std::string pdm = dir_.file("b.PDM");
    const std::string bin = dir_.file("image.BIN");
    const Case cases[] = {
        // Run in Korean: the record still says its message in English.
        {{"--lang", "ko", "--yes", "download", conveyor, "--conn", "embedded"},
         conveyor,
         0,
         "download",
         "ok",
         "Conveyor",
         true},
        {{"--yes", "download", conveyor, "--conn", "embedded?identity=A-11"},
         conveyor,
         1,
         "download",
         "failed",
         "Conveyor",
         false},
        {{"backup", "--cpu", "A-21", "--area", "D:0-250", "-o", pdm, "--conn", "embedded"},
         pdm,
         0,
         "backup",
         "ok",
         "",
         true},
        {{"restore", pdm, "--cpu", "A-21", "--conn", "embedded"},
         pdm,
         0,
         "restore",
         "ok",
         "",
         true},
        {{"linux-backup", "--cpu", "26", "-o", bin, "--conn", "embedded?image=3000"},
         bin,
         0,
         "linux-backup",
         "ok",
         "",
         true},
        {{"--yes", "linux-restore", bin, "--cpu", "26", "--conn", "embedded"},
         bin,
         0,
         "linux-restore",
         "ok",
         "",
         true},
    };
    std::size_t expected = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args.back());
        const auto r = dlutil(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.err.find("operation record"), std::string::npos) << r.err;
        const auto all = records();
        ASSERT_EQ(all.size(), ++expected);
        const json& j = all.back();
        EXPECT_EQ(j["program"], "dlutil");
        EXPECT_EQ(j["operation"], c.operation);
        EXPECT_EQ(j["result"], c.result);
        EXPECT_EQ(j["connection"]["type"], "embedded");
        EXPECT_EQ(j["file"]["path"], c.file);
        EXPECT_EQ(j["file"]["size"], fs::file_size(c.file));
        EXPECT_EQ(j["file"]["sha256"], test::sha256HexOfFile(c.file));
        EXPECT_EQ(j.value("/project/name"_json_pointer, std::string()), c.project);
        EXPECT_EQ(j.contains("plc") && j["plc"].contains("label"), c.plcKnown);
        if (c.plcKnown) {
            EXPECT_EQ(j["plc"]["label"], "A-21");
        }
        const std::string message = j["message"];
        EXPECT_FALSE(message.empty());
        EXPECT_TRUE(std::all_of(message.begin(), message.end(), [](char ch) {
            return static_cast<unsigned char>(ch) < 0x80;
        })) << message;
        EXPECT_EQ(j["bytes"].get<std::uint64_t>() > 0, c.result == "ok");
        for (const char* key : {"time", "version", "host", "user", "items", "seconds"}) {
            EXPECT_TRUE(j.contains(key)) << key;
        }
        EXPECT_EQ(j["time"].get<std::string>().size(), 20u);
        EXPECT_EQ(j["time"].get<std::string>().back(), 'Z');
    }
}

TEST_F(History, TurnedOffByTheOptionAndTheEnvironment) {
    const std::string conveyor = sample("Conveyor.DWN");
    const std::vector<std::vector<std::string>> runs = {
        {"--no-history", "--yes", "download", conveyor, "--conn", "embedded"},
    };
    EXPECT_EQ(dlutil(runs[0]).code, 0);
    setenv("DLUTIL_NO_HISTORY", "1", 1);
    EXPECT_EQ(dlutil({"--yes", "download", conveyor, "--conn", "embedded"}).code, 0);
    EXPECT_FALSE(fs::exists(historyFile()));
}

// The state folder's parent is a regular file: no one, root included, can write there.
TEST_F(History, UnwritableRecordWarnsOnceAndTheOperationSucceeds) {
    std::ofstream(dir_.file("plain")) << "x";
    setenv("XDG_STATE_HOME", dir_.file("plain").c_str(), 1);
    const auto r = dlutil({"--yes", "download", sample("Conveyor.DWN"), "--conn", "embedded"});
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string warning = "dlutil: the operation record could not be written: ";
    const auto first = r.err.find(warning);
    ASSERT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(warning, first + 1), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Not a directory", first), std::string::npos) << r.err;
}

TEST_F(History, LastTwoAsJsonNewestLast) {
    const std::string conveyor = sample("Conveyor.DWN");
    ASSERT_EQ(dlutil({"--yes", "download", conveyor, "--conn", "embedded"}).code, 0);
    ASSERT_EQ(
        dlutil({"backup", "--cpu", "A-21", "-o", dir_.file("1.PDM"), "--conn", "embedded"}).code,
        0);
    ASSERT_EQ(dlutil({"download", dir_.file("missing.DWN"), "--conn", "embedded"}).code, 2);
    const json firstWritten = records().at(0);
    {
        std::ofstream out(historyFile(), std::ios::app);
        out << "{\"time\":\"2026-12-07T1\n"; // a line cut short
    }
    const auto r = dlutil({"history", "--last", "2", "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
    const auto array = json::parse(r.out);
    ASSERT_TRUE(array.is_array());
    // The last two lines are the failed download and the damaged line: the one before the
    // damaged one is not looked at.
    ASSERT_EQ(array.size(), 1u);
    EXPECT_EQ(array[0]["file"]["path"], dir_.file("missing.DWN"));
    EXPECT_EQ(array[0]["result"], "failed");
    EXPECT_NE(r.err.find("1 line could not be read"), std::string::npos) << r.err;

    const auto three = json::parse(dlutil({"history", "--last", "4", "--json"}).out);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[0]["operation"], "download");
    EXPECT_EQ(three[1]["operation"], "backup");
    EXPECT_EQ(three[0], firstWritten);
}

// Text from a package reaches the terminal escaped.
TEST_F(History, TableShowsEscapedText) {
    fs::create_directories(state() + "/download-utility");
    std::ofstream(historyFile())
        << R"({"time":"2026-12-07T14:52:03Z","operation":"download","plc":{"label":"A-21"},)"
        << R"("project":{"name":"Evil\u001b]0;owned\u0007"},"result":"ok"})"
        << "\n";
    const auto r = dlutil({"history"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_NE(r.out.find("Evil\\x1B]0;owned\\x07"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2026-12-07T14:52:03Z download"), std::string::npos) << r.out;
}

// The record names the link and where it goes, never what follows '?' (numbers to dial,
// options) nor anything a password could hide in.
TEST(CommandRecordConnection, TypeAndAddressWithoutTheOptions) {
    struct Case {
        std::string conn, type, address;
    };
    const Case cases[] = {
        {"tcp://192.168.0.10:10266", "tcp", "192.168.0.10:10266"},
        {"sim://127.0.0.1", "sim", "127.0.0.1"},
        {"serial:/dev/ttyUSB0?baud=38400&station=3", "serial", "/dev/ttyUSB0"},
        {"dialup:/dev/ttyS0?number=0123456&init=ATZ", "dialup", "/dev/ttyS0"},
        {"usb", "usb", ""},
        {"embedded?identity=A-21&seed=7", "embedded", ""},
        {"", "settings", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.conn);
        const auto [type, address] = CommandRecord::connectionParts(c.conn);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(address, c.address);
    }
}

} // namespace
} // namespace dlu
