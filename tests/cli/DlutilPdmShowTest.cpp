// dlutil pdm show run as a process on a device memory file written by the test.
#include "support/ChildProcess.h"

#include "devmem/PdmFile.h"
#include "devmem/PdmImage.h"
#include "plc/DeviceArea.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace dlu {
namespace {

using test::run;
namespace fs = std::filesystem;

constexpr int kD = static_cast<int>(AreaIndex::D);
constexpr int kTC = static_cast<int>(AreaIndex::TC);
constexpr int kCS = static_cast<int>(AreaIndex::CS);

TEST(DlutilPdmShow, TextAndJson) {
    const fs::path file =
        fs::temp_directory_path() / ("dlutil-pdm-" + std::to_string(::getpid()) + ".PDM");
    // D 0-3 and TC 4-6 selected; TC word 3 lies outside its range, CS 4055 is the last CS
    // word a file holds.
    PdmImage image;
    image.setFlag(1);
    image.setMask(static_cast<std::uint16_t>((1u << kD) | (1u << kTC)));
    image.setRange(kD, {0, 3});
    image.setRange(kTC, {4, 6});
    image.setWord(kD, 0, 0);
    image.setWord(kD, 1, 255);
    image.setWord(kD, 2, 65535);
    image.setWord(kTC, 3, 7);
    image.setWord(kTC, 4, 4660);
    image.setWord(kTC, 5, 10);
    image.setWord(kCS, 4055, 43981);
    ASSERT_EQ(PdmFile::save(file, image), PdmFile::SaveResult::Saved);
    const std::string f = file.string();

    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out;
    };
    const Case cases[] = {
        {{},
         0,
         "Device     DEC  HEX\n"
         "D00000       0  H0000\n"
         "D00001     255  H00FF\n"
         "D00002   65535  HFFFF\n"
         "TC0004    4660  H1234\n"
         "TC0005      10  H000A\n"},
        {{"--area", "tc", "--from", "3", "--count", "2"},
         0,
         "Device     DEC  HEX\n"
         "TC0003       7  H0007\n"
         "TC0004    4660  H1234\n"},
        {{"--area", "CS", "--from", "4054"},
         0,
         "Device     DEC  HEX\n"
         "CS4054       0  H0000\n"
         "CS4055   43981  HABCD\n"},
        {{"--area", "D", "--from", "1", "--count", "1", "--json"},
         0,
         "[\n  {\"area\": \"D\", \"word\": 1, \"name\": \"D00001\", \"dec\": 255, "
         "\"hex\": \"H00FF\"}\n]\n"},
        {{"--json", "--area", "TC"},
         0,
         "[\n  {\"area\": \"TC\", \"word\": 4, \"name\": \"TC0004\", \"dec\": 4660, "
         "\"hex\": \"H1234\"},\n"
         "  {\"area\": \"TC\", \"word\": 5, \"name\": \"TC0005\", \"dec\": 10, "
         "\"hex\": \"H000A\"}\n]\n"},
        {{"--area", "Q"}, 2, ""},
        {{"--area", "CS", "--from", "4056"}, 2, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"pdm", "show", f};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = run(DLUTIL_PATH, args);
        std::string shown;
        for (const auto& a : c.args) {
            shown += a + " ";
        }
        EXPECT_EQ(r.code, c.code) << shown << r.err;
        EXPECT_EQ(r.out, c.out) << shown;
    }
    fs::remove(file);

    const auto missing = run(DLUTIL_PATH, {"pdm", "show", f});
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;
}

} // namespace
} // namespace dlu
