// dlutil backup / restore / linux-backup / linux-restore run as processes against plcsim
// over TCP and against the embedded simulator.
#include "support/ChildProcess.h"

#include "devmem/PdmFile.h"
#include "devmem/PdmImage.h"
#include "plc/DeviceArea.h"
#include "plc/DeviceRanges.h"
#include "sim/PlcSimulator.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace dlu {
namespace {

using test::ChildProcess;
using test::run;
namespace fs = std::filesystem;

constexpr int kD = static_cast<int>(AreaIndex::D);

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

class DlutilBackup : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("dlutil-backup-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const char* name) const { return (dir_ / name).string(); }

    // A plcsim on a free port; its connection string.
    static std::string connOf(ChildProcess& plcsim) {
        const int port = test::listeningPort(plcsim.line());
        return port > 0 ? "sim://127.0.0.1:" + std::to_string(port) : std::string();
    }

    static test::RunResult dlutil(std::vector<std::string> args) {
        args.insert(args.begin(), {"--lang", "en"});
        return run(DLUTIL_PATH, args);
    }

    fs::path dir_;
};

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

TEST_F(DlutilBackup, BackupOfDRangeMatchesThePlcAndRestoresIntoAnother) {
    ChildProcess first(PLCSIM_PATH, {"--port", "0", "--identity", "A-21", "--memory-seed", "7"});
    const std::string conn1 = connOf(first);
    ASSERT_FALSE(conn1.empty());
    const auto x = path("x.PDM");
    const auto b =
        dlutil({"backup", "--cpu", "A-21", "--area", "D:0-250", "-o", x, "--conn", conn1});
    ASSERT_EQ(b.code, 0) << b.err;
    EXPECT_TRUE(contains(b.err, "<[D] Device Upload>")) << b.err;
    EXPECT_EQ(fs::file_size(x), PdmImage::kFileSize);

    const PdmImage backup = loaded(x);
    const PdmImage plc7 = seededA21(7);
    EXPECT_EQ(backup.mask(), 1u << kD);
    EXPECT_EQ(backup.range(kD), (PdmImage::Range16{0, 250}));
    int differing = 0;
    for (std::uint32_t w = 0; w < 250; ++w) {
        differing += backup.word(kD, w) != plc7.word(kD, w) ? 1 : 0;
    }
    EXPECT_EQ(differing, 0) << "D words 0..249 as the PLC holds them";
    EXPECT_NE(plc7.word(kD, 249), 0) << "the seeded pattern must be visible";
    EXPECT_EQ(backup.word(kD, 250), 0) << "the end is not included";

    // Into a PLC with other contents: its D words 0..249 become those of the first one, and
    // nothing past them changes.
    ChildProcess second(PLCSIM_PATH, {"--port", "0", "--identity", "A-21", "--memory-seed", "8"});
    const std::string conn2 = connOf(second);
    ASSERT_FALSE(conn2.empty());
    const auto r = dlutil({"restore", x, "--cpu", "A-21", "--conn", conn2});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "<[D] Device Download>")) << r.err;

    const auto y = path("y.PDM");
    const auto back =
        dlutil({"backup", "--cpu", "26", "--area", "D:0-300", "-o", y, "--conn", conn2});
    ASSERT_EQ(back.code, 0) << back.err;
    const PdmImage after = loaded(y);
    const PdmImage plc8 = seededA21(8);
    int wrong = 0;
    for (std::uint32_t w = 0; w < 300; ++w) {
        const auto expected = w < 250 ? plc7.word(kD, w) : plc8.word(kD, w);
        wrong += after.word(kD, w) != expected ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(DlutilBackup, DefaultSetAndAreaChoicesOfTheEmbeddedPlc) {
    struct Case {
        std::vector<std::string> areas;
        std::uint16_t mask;
        int area; // one area whose range is checked
        PdmImage::Range16 range;
    };
    constexpr auto bit = [](AreaIndex a) {
        return static_cast<std::uint16_t>(1u << static_cast<int>(a));
    };
    const auto mlkd = static_cast<std::uint16_t>(bit(AreaIndex::M) | bit(AreaIndex::L) |
                                                 bit(AreaIndex::K) | bit(AreaIndex::D));
    const Case cases[] = {
        {{}, mlkd, kD, {0, 32000}},
        {{"--default", "--area", "X:3-50"},
         static_cast<std::uint16_t>(mlkd | bit(AreaIndex::X)),
         static_cast<int>(AreaIndex::X),
         {3, 50}},
        {{"--area", "tc"},
         bit(AreaIndex::TC),
         static_cast<int>(AreaIndex::TC),
         {0, DeviceRanges::capacity(static_cast<int>(AreaIndex::TC), 26)}},
        {{"--area", "all", "--area", "D:5-6"}, 0xFFFF, kD, {5, 6}},
    };
    const PdmImage plc = seededA21(3);
    for (const auto& c : cases) {
        std::vector<std::string> args{"backup",      "--cpu",  "A-21",           "-o",
                                      path("d.PDM"), "--conn", "embedded?seed=3"};
        args.insert(args.end(), c.areas.begin(), c.areas.end());
        const auto r = dlutil(args);
        ASSERT_EQ(r.code, 0) << joined(args) << r.err;
        const PdmImage image = loaded(path("d.PDM"));
        EXPECT_EQ(image.mask(), c.mask) << joined(args);
        EXPECT_EQ(image.range(c.area), c.range) << joined(args);
        const std::uint32_t last = c.range.end - 1u;
        EXPECT_EQ(image.word(c.area, last), plc.word(c.area, last)) << joined(args);
    }
}

TEST_F(DlutilBackup, BadInputIsRefusedBeforeAnythingIsSent) {
    // A D 0-250 file, and files that are not one.
    {
        PdmImage image;
        image.setFlag(1);
        image.setMask(static_cast<std::uint16_t>(1u << kD));
        image.setRange(kD, {0, 250});
        ASSERT_EQ(PdmFile::save(path("d.PDM"), image), PdmFile::SaveResult::Saved);
        // A whole file whose flag says nothing was read (the dialog refuses to save one).
        auto bytes = image.fileBytes();
        bytes[0] = 0;
        std::ofstream(path("flag0.PDM"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        std::ofstream(path("empty.PDM"), std::ios::binary);
        std::ofstream(path("short.PDM"), std::ios::binary) << std::string(1000, '\x01');
        std::ofstream(path("empty.BIN"), std::ios::binary);
    }
    const std::string out = path("out.PDM");
    struct Case {
        std::vector<std::string> args;
        const char* inErr;
    };
    const Case cases[] = {
        {{"backup", "--cpu", "A-21", "-o", out, "--area", "Q:0-1"}, "unknown area 'Q'"},
        {{"backup", "--cpu", "A-21", "-o", out, "--area", "D:0-32001"}, "beyond the D area"},
        {{"backup", "--cpu", "A-21", "-o", out, "--area", "D:251-250"}, "start is above the end"},
        {{"backup", "--cpu", "A-21", "-o", out, "--area", "D:7-7"}, "empty"},
        {{"backup", "--cpu", "A-21", "-o", out, "--area", "D:0-25x"}, "AREA:START-END"},
        {{"backup", "--cpu", "Z-99", "-o", out}, "unknown CPU type"},
        {{"backup", "--cpu", "A-21", "-o", path("no/such/x.PDM")}, "no such folder"},
        {{"restore", path("d.PDM"), "--cpu", "A-21", "--area", "F"}, "never writes F"},
        {{"restore", path("d.PDM"), "--cpu", "A-21", "--area", "T"}, "never writes T"},
        {{"restore", path("d.PDM"), "--cpu", "A-21", "--area", "C:0-10"}, "never writes C"},
        {{"restore", path("d.PDM"), "--cpu", "A-21", "--area", "S"}, "never writes S"},
        {{"restore", path("d.PDM"), "--cpu", "A-21", "--area", "Z"}, "never writes Z"},
        {{"restore", path("d.PDM"), "--cpu", "A-21", "--area", "R"}, "never writes R"},
        {{"restore", path("d.PDM"), "--cpu", "10", "--area", "TS"}, "may not write TS"},
        {{"restore", path("d.PDM"), "--cpu", "14", "--area", "CS"}, "may not write CS"},
        {{"restore", path("d.PDM"), "--cpu", "34", "--area", "D", "--area", "TS"},
         "may not write TS"},
        {{"restore", path("d.PDM"), "--cpu", "A-21", "--area", "M"}, "holds no M words"},
        {{"restore", path("d.PDM"), "--cpu", "A-21", "--area", "D:0-300"}, "outside the file's"},
        {{"restore", path("missing.PDM"), "--cpu", "A-21"}, "cannot read"},
        {{"restore", path("empty.PDM"), "--cpu", "A-21"}, "is empty"},
        {{"restore", path("short.PDM"), "--cpu", "A-21"}, "shorter than a device memory file"},
        {{"restore", path("flag0.PDM"), "--cpu", "A-21"}, "holds no device memory"},
        {{"linux-backup", "--cpu", "A-01", "-o", path("i.BIN")}, "no Linux device image"},
        {{"linux-restore", path("empty.BIN"), "--cpu", "A-21"}, "is empty"},
        {{"linux-restore", path("missing.BIN"), "--cpu", "27"}, "cannot read"},
    };
    const std::string trace = path("trace.txt");
    for (const auto& c : cases) {
        fs::remove(trace);
        auto args = c.args;
        args.insert(args.end(), {"--conn", "embedded"});
        args.insert(args.begin(), {"--trace", trace});
        const auto r = dlutil(args);
        EXPECT_EQ(r.code, 2) << joined(args) << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.inErr)) << joined(args) << "\n" << r.err;
        EXPECT_FALSE(fs::exists(trace)) << joined(args) << ": no connection was opened";
        EXPECT_FALSE(fs::exists(out)) << joined(args);
    }
}

TEST_F(DlutilBackup, RestoreOfASubsetWritesOnlyIt) {
    // M and D backed up from seed 4, restored into seed 5 with D 10-20 only.
    const auto src = path("src.PDM");
    ASSERT_EQ(dlutil({"backup", "--cpu", "A-21", "--area", "M:0-50", "--area", "D:0-50", "-o", src,
                      "--conn", "embedded?seed=4"})
                  .code,
              0);
    ChildProcess plcsim(PLCSIM_PATH, {"--port", "0", "--memory-seed", "5"});
    const std::string conn = connOf(plcsim);
    ASSERT_FALSE(conn.empty());
    const auto r = dlutil({"restore", src, "--cpu", "A-21", "--area", "d:10-20", "--conn", conn});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto after = path("after.PDM");
    ASSERT_EQ(dlutil({"backup", "--cpu", "A-21", "--area", "M:0-50", "--area", "D:0-50", "-o",
                      after, "--conn", conn})
                  .code,
              0);
    const PdmImage got = loaded(after);
    const PdmImage four = seededA21(4);
    const PdmImage five = seededA21(5);
    for (std::uint32_t w = 0; w < 50; ++w) {
        const bool written = w >= 10 && w < 20;
        EXPECT_EQ(got.word(kD, w), (written ? four : five).word(kD, w)) << "D" << w;
        EXPECT_EQ(got.word(static_cast<int>(AreaIndex::M), w),
                  five.word(static_cast<int>(AreaIndex::M), w))
            << "M" << w;
    }
}

TEST_F(DlutilBackup, RestoreIntoARefusingPlcFails) {
    const auto src = path("src.PDM");
    ASSERT_EQ(
        dlutil({"backup", "--cpu", "A-21", "--area", "D:0-10", "-o", src, "--conn", "embedded"})
            .code,
        0);
    // The PLC is another CPU type: the connection's type check stops it, exit 1.
    const auto r = dlutil({"restore", src, "--cpu", "A-22", "--conn", "embedded?identity=A-21"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_FALSE(contains(r.err, "Device Download")) << r.err;
}

TEST_F(DlutilBackup, LinuxImageBackupAndRestore) {
    ChildProcess first(PLCSIM_PATH, {"--port", "0", "--image-size", "1000", "--memory-seed", "5"});
    const std::string conn1 = connOf(first);
    ASSERT_FALSE(conn1.empty());
    const auto bin = path("i.BIN");
    const auto b = dlutil({"linux-backup", "--cpu", "A-21", "-o", bin, "--conn", conn1});
    ASSERT_EQ(b.code, 0) << b.err;
    EXPECT_TRUE(contains(b.err, "Upload Success")) << b.err;
    std::ifstream in(bin, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, sim::PlcSimulator::imagePattern(1000, 5));

    // Into a PLC with a small image of its own; reading it back gives the file.
    ChildProcess second(PLCSIM_PATH, {"--port", "0", "--image-size", "10", "--memory-seed", "6"});
    const std::string conn2 = connOf(second);
    ASSERT_FALSE(conn2.empty());
    const auto r = dlutil({"linux-restore", bin, "--cpu", "26", "--conn", conn2});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "Download Success")) << r.err;
    const auto again = path("again.BIN");
    ASSERT_EQ(dlutil({"linux-backup", "--cpu", "A-21", "-o", again, "--conn", conn2}).code, 0);
    EXPECT_EQ(fs::file_size(again), 1000u);

    // A PLC without an image: nothing written, exit 1.
    const auto none =
        dlutil({"linux-backup", "--cpu", "A-21", "-o", path("none.BIN"), "--conn", "embedded"});
    EXPECT_EQ(none.code, 1) << none.err;
    EXPECT_FALSE(fs::exists(path("none.BIN")));
}

} // namespace
} // namespace dlu
