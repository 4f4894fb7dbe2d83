// The operation record's file: lines another JSON reader takes, appends of two processes at
// once that never mix, the rotation at its bound, and the reading back of damaged lines.
#include "common/OperationRecord.h"
#include "common/JsonText.h"

#include "PackageTestUtil.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace dlu {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

OperationRecord sampleRecord(std::string message = "Download Success") {
    OperationRecord r;
    r.time = std::chrono::system_clock::from_time_t(1796655123); // 2026-12-07T14:52:03Z
    r.program = "dlutil";
    r.version = "1.2.3";
    r.operation = "download";
    r.connectionType = "tcp";
    r.connectionAddress = "192.168.0.10:10523";
    r.plcLabel = "A-21";
    r.plcCpuCode = 122;
    r.plcFirmware = 400;
    r.filePath = "/srv/Conveyor.DWN";
    r.fileSize = 18064;
    r.fileSha256 = std::string(64, 'a');
    r.projectName = "Conveyor";
    r.projectCpu = "A-21";
    r.items = 148;
    r.bytes = 15598;
    r.result = OperationResult::Ok;
    r.message = std::move(message);
    r.seconds = 1.5;
    return r;
}

std::vector<std::string> linesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(OperationRecord, LineCarriesEveryKeyAsAnotherJsonReaderSeesIt) {
    const auto j = nlohmann::json::parse(sampleRecord().toJson());
    EXPECT_EQ(j["time"], "2026-12-07T14:52:03Z");
    EXPECT_EQ(j["program"], "dlutil");
    EXPECT_EQ(j["version"], "1.2.3");
    EXPECT_EQ(j["operation"], "download");
    EXPECT_EQ(j["connection"]["type"], "tcp");
    EXPECT_EQ(j["connection"]["address"], "192.168.0.10:10523");
    EXPECT_EQ(j["plc"]["label"], "A-21");
    EXPECT_EQ(j["plc"]["cpu"], 122);
    EXPECT_EQ(j["plc"]["firmware"], 400);
    EXPECT_EQ(j["file"]["path"], "/srv/Conveyor.DWN");
    EXPECT_EQ(j["file"]["size"], 18064);
    EXPECT_EQ(j["project"]["name"], "Conveyor");
    EXPECT_EQ(j["items"], 148);
    EXPECT_EQ(j["bytes"], 15598);
    EXPECT_EQ(j["result"], "ok");
    EXPECT_EQ(j["message"], "Download Success");
    EXPECT_DOUBLE_EQ(j["seconds"].get<double>(), 1.5);
}

// Text from a package or a PLC cannot break the line or reach a terminal raw.
TEST(OperationRecord, TextIsEscapedToOneSafeLine) {
    struct Case {
        std::string text;
        std::string quoted;   // as jsonQuoted writes it
        std::string readBack; // as a JSON reader decodes the line
    };
    const Case cases[] = {
        {"a\nb", R"("a\nb")", "a\nb"},
        {"\x1b]0;x\x07", R"("\u001b]0;x\u0007")", "\x1b]0;x\x07"},
        {"q\"\\", R"("q\"\\")", "q\"\\"},
        {"\xff\xfe", R"("\ufffd\ufffd")", "\xef\xbf\xbd\xef\xbf\xbd"},
        {"\xc0\xaf", R"("\ufffd\ufffd")", "\xef\xbf\xbd\xef\xbf\xbd"}, // overlong '/'
        {"\xe2\x80\xae"
         "evil",
         R"("\u202eevil")",
         "\xe2\x80\xae"
         "evil"},
        {"\xc2\x9b", R"("\u009b")", "\xc2\x9b"},
        {"\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"\xed\x95\x9c\xea\xb8\x80", "\"\xed\x95\x9c\xea\xb8\x80\"", "\xed\x95\x9c\xea\xb8\x80"},
        {std::string("\0x", 2), R"("\u0000x")", std::string("\0x", 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quoted);
        EXPECT_EQ(jsonQuoted(c.text), c.quoted);
        const std::string line = sampleRecord(c.text).toJson();
        EXPECT_EQ(line.find('\n'), std::string::npos);
        for (const char ch : line) {
            EXPECT_GE(static_cast<unsigned char>(ch), 0x20);
        }
        EXPECT_EQ(nlohmann::json::parse(line)["message"], c.readBack);
        const auto ours = JsonValue::parse(line);
        ASSERT_TRUE(ours.has_value());
        EXPECT_EQ(ours->textAt({"message"}), c.readBack);
    }
}

TEST(JsonValue, TakesOneValueAndRefusesTheRest) {
    struct Case {
        std::string text;
        bool good;
    };
    const Case cases[] = {
        {R"({"a":{"b":[1,-2.5e3,true,false,null,"x"]}})", true},
        {R"( {"a":"\ud83d\ude00"} )", true},
        {R"({"a":1} {"b":2})", false},
        {R"({"a":1)", false},
        {R"({"a":"x)", false},
        {R"({"a":01})", false},
        {R"({"a":"\ud83d"})", false},
        {"{\"a\":\"\x01\"}", false},
        {"{\"a\":\"\xff\"}", false},
        {R"({a:1})", false},
        {R"([1,])", false},
        {"", false},
        {std::string(100, '[') + std::string(100, ']'), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(JsonValue::parse(c.text).has_value(), c.good);
    }
    const auto v = JsonValue::parse(R"({"plc":{"label":"A-21"},"n":7})");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->textAt({"plc", "label"}), "A-21");
    EXPECT_EQ(v->textAt({"n"}), "7");
    EXPECT_EQ(v->textAt({"plc", "cpu"}, "-"), "-");
    EXPECT_EQ(v->dump(), R"({"plc":{"label":"A-21"},"n":7})");
}

TEST(OperationLog, MakesAPrivateFolderAndFile) {
    TempDir dir;
    const OperationLog log(fs::path(dir.path()) / "state" / "download-utility");
    std::string reason;
    ASSERT_TRUE(log.append(sampleRecord(), reason)) << reason;
    EXPECT_EQ(fs::status(fs::path(dir.path()) / "state").permissions() & fs::perms::all,
              fs::perms::owner_all);
    EXPECT_EQ(fs::status(log.file()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(linesOf(log.file()), std::vector<std::string>{sampleRecord().toJson()});
}

// Two programs appending at once: every line is whole and each one's lines are all there.
TEST(OperationLog, AppendsOfTwoProcessesNeverInterleave) {
    TempDir dir;
    const OperationLog log(dir.path());
    constexpr int kEach = 1000;
    const std::string longText(3000, 'x'); // well past what one write of a pipe keeps whole
    std::vector<pid_t> children;
    for (const char* who : {"first", "second"}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kEach; ++i) {
                std::string reason;
                ok = log.append(sampleRecord(std::string(who) + longText), reason) && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::map<std::string, int> count;
    for (const auto& line : linesOf(log.file())) {
        const auto j = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(j.is_discarded()) << line.substr(0, 80);
        ++count[j["message"].get<std::string>().substr(0, 6)];
    }
    EXPECT_EQ(count["first" + longText.substr(0, 1)], kEach);
    EXPECT_EQ(count["second"], kEach);
}

TEST(OperationLog, RotatesPastItsBoundKeepingOneGeneration) {
    TempDir dir;
    const std::size_t lineSize = sampleRecord("m0").toJson().size() + 1;
    const OperationLog log(dir.path(), lineSize * 3);
    for (int i = 0; i < 8; ++i) {
        std::string reason;
        ASSERT_TRUE(log.append(sampleRecord("m" + std::to_string(i)), reason)) << reason;
    }
    // 3 lines fit; the 4th and the 7th appends found the file full and rotated it first.
    const auto messages = [](const fs::path& file) {
        std::vector<std::string> out;
        for (const auto& line : linesOf(file)) {
            out.push_back(nlohmann::json::parse(line)["message"]);
        }
        return out;
    };
    EXPECT_EQ(messages(log.rotatedFile()), (std::vector<std::string>{"m3", "m4", "m5"}));
    EXPECT_EQ(messages(log.file()), (std::vector<std::string>{"m6", "m7"}));
    const auto reading = log.readLast(4);
    ASSERT_EQ(reading.records.size(), 4u);
    EXPECT_EQ(reading.records.front().textAt({"message"}), "m4");
    EXPECT_EQ(reading.records.back().textAt({"message"}), "m7");
}

TEST(OperationLog, ReadingSkipsAndCountsDamagedLines) {
    TempDir dir;
    const OperationLog log(dir.path());
    std::string reason;
    ASSERT_TRUE(log.append(sampleRecord("one"), reason));
    {
        std::ofstream out(log.file(), std::ios::app | std::ios::binary);
        out << "{\"time\":\"2026-12-07T14:5\n" // cut by a crash of an older writer
            << "[1,2]\n"                       // JSON, but not a record
            << std::string(OperationLog::kMaxLine + 1, ' ') << "{}\n";
    }
    ASSERT_TRUE(log.append(sampleRecord("two"), reason));
    const auto reading = log.readLast(20);
    EXPECT_EQ(reading.damaged, 3u);
    ASSERT_EQ(reading.records.size(), 2u);
    EXPECT_EQ(reading.records[0].textAt({"message"}), "one");
    EXPECT_EQ(reading.records[1].textAt({"message"}), "two");
}

// A folder that cannot be made (its parent is a regular file: even root cannot write there).
TEST(OperationLog, UnwritableFolderSaysWhy) {
    TempDir dir;
    std::ofstream(dir.file("plain")) << "x";
    const OperationLog log(fs::path(dir.file("plain")) / "download-utility");
    std::string reason;
    EXPECT_FALSE(log.append(sampleRecord(), reason));
    EXPECT_NE(reason.find("Not a directory"), std::string::npos) << reason;
}

// The columns both history tables show: the project's name before the file's path, "-" for
// a PLC or a file the record does not name, every text made safe to show.
TEST(HistoryRow, ColumnsOfARecord) {
    const struct {
        const char* line;
        HistoryRow row;
    } cases[] = {
        {R"({"time":"T1","operation":"download","plc":{"label":"A-21"},"project":{"name":"Line1"},"file":{"path":"/p/L.DWN"},"result":"ok"})",
         {"T1", "download", "A-21", "Line1", "ok"}},
        {R"({"time":"T2","operation":"backup","file":{"path":"/p/b.PDM"},"result":"failed"})",
         {"T2", "backup", "-", "/p/b.PDM", "failed"}},
        {R"({"time":"T3","operation":"restore","result":"cancelled"})",
         {"T3", "restore", "-", "-", "cancelled"}},
        {R"({"time":"T4","operation":"op\u001b[2J","plc":{"label":"A\u0007"},"project":{"name":"x\u202ey"},"result":"ok\r"})",
         {"T4", "op\\x1B[2J", "A\\x07", "x\\u202Ey", "ok\\x0D"}},
    };
    for (const auto& c : cases) {
        const auto record = JsonValue::parse(c.line);
        ASSERT_TRUE(record.has_value()) << c.line;
        EXPECT_EQ(historyRow(*record), c.row) << c.line;
    }
}

} // namespace
} // namespace dlu
