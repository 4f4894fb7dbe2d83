#include "devmem/PdmFile.h"

#include "../package/PackageTestUtil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>

namespace dlu {
namespace {

namespace fs = std::filesystem;
constexpr int kD = static_cast<int>(AreaIndex::D);
constexpr int kCS = static_cast<int>(AreaIndex::CS);

class PdmFileTest : public ::testing::Test {
protected:
    static std::vector<std::uint8_t> readAll(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    test::TempDir tmp_;
    const fs::path dir_{tmp_.path()};
};

TEST_F(PdmFileTest, RoundTripKeepsEveryAreaButCsPastTheFile) {
    PdmImage image;
    image.setFlag(1);
    std::mt19937 rng(7);
    for (int a = 0; a < DeviceAreas::kCount; ++a) {
        image.setRange(a, {static_cast<std::uint16_t>(a), static_cast<std::uint16_t>(a * 3)});
        for (std::uint32_t w = 0; w < PdmImage::wordCount(a); ++w) {
            image.setWord(a, w, static_cast<std::uint16_t>(rng()));
        }
    }
    image.setMask(0xBEEF);
    ASSERT_EQ(PdmFile::save(dir_ / "r.PDM", image), PdmFile::SaveResult::Saved);

    PdmImage back;
    ASSERT_EQ(PdmFile::load(dir_ / "r.PDM", back), PdmFile::LoadResult::Loaded);
    EXPECT_EQ(back.mask(), 0xBEEF);
    for (int a = 0; a < DeviceAreas::kCount; ++a) {
        EXPECT_EQ(back.range(a), image.range(a));
        for (std::uint32_t w = 0; w < PdmImage::wordCount(a); ++w) {
            const bool beyondFile = a == kCS && w >= 4056;
            ASSERT_EQ(back.word(a, w), beyondFile ? 0 : image.word(a, w))
                << "area " << a << " word " << w;
        }
    }
}

// The file's layout by the published table of offsets, not by our own code (the simulator
// shares PdmImage, so a round trip cannot see a shifted area): the first and the last word of
// every area in the file, each a value of its own, and the ranges behind the mask.
TEST_F(PdmFileTest, EveryAreaLiesAtItsPublishedOffset) {
    struct Area {
        int offset;
        std::uint32_t lastWord;
    };
    const Area areas[DeviceAreas::kCount] = {
        {67, 1023},     {2115, 1023},   {4163, 4095},   {12355, 4095},
        {20547, 4095},  {28739, 255},   {29251, 4095},  {37443, 4095},
        {45635, 99},    {45835, 32766}, {111369, 1063}, {113497, 15},
        {113529, 4095}, {121721, 4095}, {129913, 4095}, {138105, 4055},
    };
    std::vector<std::uint8_t> bytes(146217, 0);
    const auto put = [&](std::size_t at, std::uint16_t v) {
        bytes[at] = static_cast<std::uint8_t>(v & 0xFF);
        bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    bytes[0] = 1;
    put(1, 0xA5C3);
    PdmImage image;
    image.setFlag(1);
    image.setMask(0xA5C3);
    for (int a = 0; a < DeviceAreas::kCount; ++a) {
        const auto& area = areas[a];
        const auto first = static_cast<std::uint16_t>(0x1100 + a);
        const auto last = static_cast<std::uint16_t>(0xE200 + a);
        const auto start = static_cast<std::uint16_t>(a + 1);
        const auto end = static_cast<std::uint16_t>(area.lastWord + 1);
        put(3 + 4 * static_cast<std::size_t>(a), start);
        put(5 + 4 * static_cast<std::size_t>(a), end);
        put(static_cast<std::size_t>(area.offset), first);
        put(static_cast<std::size_t>(area.offset) + 2 * area.lastWord, last);
        image.setRange(a, {start, end});
        image.setWord(a, 0, first);
        image.setWord(a, area.lastWord, last);
    }

    ASSERT_EQ(PdmFile::save(dir_ / "laid.PDM", image), PdmFile::SaveResult::Saved);
    const auto saved = readAll(dir_ / "laid.PDM");
    ASSERT_EQ(saved.size(), bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        ASSERT_EQ(saved[i], bytes[i]) << "byte " << i;
    }

    std::ofstream(dir_ / "made.PDM", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    PdmImage loaded;
    ASSERT_EQ(PdmFile::load(dir_ / "made.PDM", loaded), PdmFile::LoadResult::Loaded);
    EXPECT_EQ(loaded.mask(), 0xA5C3);
    for (int a = 0; a < DeviceAreas::kCount; ++a) {
        SCOPED_TRACE(DeviceAreas::at(a).letter);
        EXPECT_EQ(loaded.range(a), image.range(a));
        EXPECT_EQ(loaded.word(a, 0), image.word(a, 0));
        EXPECT_EQ(loaded.word(a, areas[a].lastWord), image.word(a, areas[a].lastWord));
        EXPECT_EQ(loaded.word(a, 1), 0);
    }
}

TEST_F(PdmFileTest, LoadRefusalsLeaveTheImageAsItWas) {
    PdmImage before;
    before.setFlag(1);
    before.setWord(kD, 5, 1234);

    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        PdmFile::LoadResult result;
        std::uint8_t flagAfter;
    };
    std::vector<std::uint8_t> full(PdmImage::kFileSize, 0);
    full[0] = 0;
    std::vector<std::uint8_t> flag2 = full;
    flag2[0] = 2;
    std::vector<std::uint8_t> shortFile(PdmImage::kFileSize - 1, 0);
    shortFile[0] = 1;
    std::vector<std::uint8_t> longFile(PdmImage::kFileSize + 1, 7);
    longFile[0] = 1;
    const Case cases[] = {
        {"empty", {}, PdmFile::LoadResult::Empty, 1},
        {"one byte short", shortFile, PdmFile::LoadResult::TooShort, 1},
        {"just a flag", {1}, PdmFile::LoadResult::TooShort, 1},
        {"one byte long", longFile, PdmFile::LoadResult::TooLong, 1},
        {"first byte 0", full, PdmFile::LoadResult::NotLoaded, 0},
        {"first byte 2", flag2, PdmFile::LoadResult::NotLoaded, 2},
    };
    for (const auto& c : cases) {
        PdmImage image = before;
        {
            std::ofstream out(dir_ / "c.PDM", std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(c.bytes.data()),
                      static_cast<std::streamsize>(c.bytes.size()));
        }
        EXPECT_EQ(PdmFile::load(dir_ / "c.PDM", image), c.result) << c.what;
        EXPECT_EQ(image.flag(), c.flagAfter) << c.what;
        EXPECT_EQ(image.word(kD, 5), 1234) << c.what << ": words must stay";
    }
    // Accepted once the user has been asked: the image part only.
    PdmImage accepted = before;
    EXPECT_EQ(PdmFile::load(dir_ / "c.PDM", accepted), PdmFile::LoadResult::NotLoaded);
    EXPECT_EQ(PdmFile::parse(longFile, accepted, true), PdmFile::LoadResult::Loaded);
    EXPECT_EQ(accepted.word(kD, 5), 0x0707);
    PdmImage image = before;
    EXPECT_EQ(PdmFile::load(dir_ / "missing.PDM", image), PdmFile::LoadResult::NotOpened);
    EXPECT_EQ(image, before);
}

TEST_F(PdmFileTest, SaveRefusesAndKeepsThePreviousFile) {
    PdmImage image;
    image.setFlag(1);
    image.setWord(kD, 0, 42);
    std::array<PdmImage::Range16, 16> ranges{};
    EXPECT_EQ(PdmFile::save("", "x.PDM", image, 0, ranges), PdmFile::SaveResult::NoPath);
    EXPECT_EQ(PdmFile::save(dir_, "", image, 0, ranges), PdmFile::SaveResult::NoPath);
    PdmImage empty;
    EXPECT_EQ(PdmFile::save(dir_, "x.PDM", empty, 0, ranges), PdmFile::SaveResult::NotLoaded);
    EXPECT_FALSE(fs::exists(dir_ / "x.PDM"));

    // A good backup exists; the next save cannot be written (read-only folder, as when the
    // disk is full or the medium goes away): the old backup must be whole afterwards.
    ASSERT_EQ(PdmFile::save(dir_ / "keep.PDM", image), PdmFile::SaveResult::Saved);
    const auto before = readAll(dir_ / "keep.PDM");
    // Writes beyond a few bytes fail (EFBIG), as on a full disk; this holds for root too.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    image.setWord(kD, 0, 43);
    const auto result = PdmFile::save(dir_ / "keep.PDM", image);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, PdmFile::SaveResult::WriteFailed);
    EXPECT_EQ(readAll(dir_ / "keep.PDM"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1)
        << "no temporary file is left behind";
    EXPECT_EQ(PdmFile::messageFor(PdmFile::SaveResult::WriteFailed), 579);
}

TEST_F(PdmFileTest, SaveNeverWritesThroughALinkAndKeepsThePermissions) {
    PdmImage image;
    image.setFlag(1);
    image.setWord(kD, 0, 42);
    const fs::path target = dir_ / "keep.PDM";
    ASSERT_EQ(PdmFile::save(target, image), PdmFile::SaveResult::Saved);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Links planted where a fixed temporary name would be.
    const fs::path victim = dir_ / "victim";
    std::ofstream(victim) << "keep";
    for (const char* name : {"keep.PDM.tmp", ".keep.PDM.tmp", "keep.PDM~"}) {
        fs::create_symlink(victim, dir_ / name);
    }
    image.setWord(kD, 0, 43);
    ASSERT_EQ(PdmFile::save(target, image), PdmFile::SaveResult::Saved);
    EXPECT_EQ(readAll(victim), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    PdmImage back;
    ASSERT_EQ(PdmFile::load(target, back), PdmFile::LoadResult::Loaded);
    EXPECT_EQ(back.word(kD, 0), 43);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 5);
}

TEST(PdmFileNames, DefaultNamesCarryTheLocalTime) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 3;
    t.tm_sec = 9;
    EXPECT_EQ(PdmFile::defaultName("Device Data ", ".PDM", t), "Device Data 20260105_070309.PDM");
    EXPECT_EQ(PdmFile::defaultName("Linux Device Data ", ".BIN", t),
              "Linux Device Data 20260105_070309.BIN");
}

} // namespace
} // namespace dlu
