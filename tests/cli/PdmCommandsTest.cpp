// dlutil pdm diff, export and import, run in-process on files written by the test.
#include "cli/PdmCommands.h"

#include "PackageBuilder.h"
#include "PackageTestUtil.h"

#include "devmem/PdmFile.h"
#include "devmem/PdmImage.h"
#include "plc/DeviceArea.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace dlu {
namespace {

namespace fs = std::filesystem;

constexpr int kD = static_cast<int>(AreaIndex::D);
constexpr int kTC = static_cast<int>(AreaIndex::TC);
constexpr int kCS = static_cast<int>(AreaIndex::CS);

class PdmCommands : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_.file(name); }

    std::string save(const std::string& name, const PdmImage& image) const {
        EXPECT_EQ(PdmFile::save(path(name), image), PdmFile::SaveResult::Saved);
        return path(name);
    }

    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }

    // D 0-3 and TC 4-6 selected, as a backup leaves them.
    static PdmImage sample() {
        PdmImage image;
        image.setFlag(1);
        image.setMask(static_cast<std::uint16_t>((1u << kD) | (1u << kTC)));
        image.setRange(kD, {0, 3});
        image.setRange(kTC, {4, 6});
        image.setWord(kD, 0, 1);
        image.setWord(kD, 1, 255);
        image.setWord(kD, 2, 65535);
        image.setWord(kTC, 4, 4660);
        image.setWord(kTC, 5, 10);
        return image;
    }

    test::TempDir dir_;
};

TEST_F(PdmCommands, DiffListsTheWordsThatDiffer) {
    PdmImage b = sample();
    b.setWord(kD, 1, 1240);
    b.setWord(kD, 100, 7);    // outside the range: still a difference
    b.setWord(kCS, 4055, 9);  // the last CS word a file carries
    b.setRange(kD, {0, 200}); // ranges alone are no difference
    const std::string fa = save("a.PDM", sample());
    const std::string fb = save("b.PDM", b);

    struct Case {
        std::string first, second, area;
        bool json;
        int code;
        std::string out;
    };
    const Case cases[] = {
        {fa, fb, "", false, 1, "D00001  255 -> 1240\nD00100  0 -> 7\nCS4055  0 -> 9\n"},
        {fb, fa, "d", false, 1, "D00001  1240 -> 255\nD00100  7 -> 0\n"},
        {fa, fb, "TC", false, 0, ""},
        {fa, fa, "", true, 0, "[]\n"},
        {fa, fb, "CS", true, 1,
         "[\n  {\"area\": \"CS\", \"word\": 4055, \"name\": \"CS4055\", \"a\": 0, \"b\": 9}\n]\n"},
        {fa, fb, "Q", false, 2, ""},
        {fa, path("missing.PDM"), "", false, 2, ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(runPdmDiff({c.first, c.second, c.area, c.json}, out, err), c.code) << c.area;
        EXPECT_EQ(out.str(), c.out) << c.area;
        EXPECT_EQ(err.str().empty(), c.code != 2) << err.str();
    }
}

// Diff and export reach the first and the last word a file carries of every area, X and CS
// included (the word counts are the published layout's).
TEST_F(PdmCommands, DiffAndExportReachEveryAreaEndToEnd) {
    const struct {
        const char* letter;
        std::uint32_t lastWord;
    } areas[DeviceAreas::kCount] = {
        {"X", 1023}, {"Y", 1023},  {"M", 4095}, {"L", 4095},  {"K", 4095},  {"F", 255},
        {"T", 4095}, {"C", 4095},  {"S", 99},   {"D", 32766}, {"Z", 1063},  {"R", 15},
        {"TC", 4095}, {"TS", 4095}, {"CC", 4095}, {"CS", 4055},
    };
    PdmImage empty;
    empty.setFlag(1);
    PdmImage full;
    full.setFlag(1);
    full.setMask(0xFFFF);
    for (int a = 0; a < DeviceAreas::kCount; ++a) {
        full.setRange(a, {0, static_cast<std::uint16_t>(areas[a].lastWord + 1)});
        full.setWord(a, 0, static_cast<std::uint16_t>(1 + a));
        full.setWord(a, areas[a].lastWord, static_cast<std::uint16_t>(100 + a));
    }
    const std::string fa = save("empty.PDM", empty);
    const std::string fb = save("full.PDM", full);

    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(runPdmDiff({fa, fb, "", true}, out, err), 1) << err.str();
    const auto diffs = nlohmann::json::parse(out.str());
    ASSERT_EQ(diffs.size(), 2u * DeviceAreas::kCount);
    for (int a = 0; a < DeviceAreas::kCount; ++a) {
        SCOPED_TRACE(areas[a].letter);
        const auto& first = diffs[static_cast<std::size_t>(2 * a)];
        const auto& last = diffs[static_cast<std::size_t>(2 * a + 1)];
        EXPECT_EQ(first["area"], areas[a].letter);
        EXPECT_EQ(first["word"], 0);
        EXPECT_EQ(first["b"], 1 + a);
        EXPECT_EQ(last["area"], areas[a].letter);
        EXPECT_EQ(last["word"], areas[a].lastWord);
        EXPECT_EQ(last["b"], 100 + a);
    }

    std::ostringstream csv;
    ASSERT_EQ(runPdmExport({fb, "", true}, csv, err), 0) << err.str();
    std::istringstream lines(csv.str());
    std::map<std::string, std::vector<std::string>> rows;
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "area,address,dec,hex");
    while (std::getline(lines, line)) {
        rows[line.substr(0, line.find(','))].push_back(line);
    }
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(DeviceAreas::kCount));
    for (int a = 0; a < DeviceAreas::kCount; ++a) {
        const std::string l = areas[a].letter;
        const auto& r = rows[l];
        ASSERT_EQ(r.size(), areas[a].lastWord + 1) << l;
        const auto starts = [](const std::string& text, const std::string& head) {
            return text.rfind(head, 0) == 0;
        };
        EXPECT_TRUE(starts(r.front(), l + ",0," + std::to_string(1 + a) + ",H")) << r.front();
        EXPECT_TRUE(starts(r.back(), l + "," + std::to_string(areas[a].lastWord) + "," +
                                         std::to_string(100 + a) + ",H"))
            << r.back();
    }
}

TEST_F(PdmCommands, ExportAndImportRoundTripByteForByte) {
    const std::string pdm = save("a.PDM", sample());
    std::ostringstream csv;
    std::ostringstream err;
    ASSERT_EQ(runPdmExport({pdm, "", true}, csv, err), 0) << err.str();
    EXPECT_EQ(csv.str(), "area,address,dec,hex\n"
                         "D,0,1,H0001\nD,1,255,H00FF\nD,2,65535,HFFFF\n"
                         "TC,4,4660,H1234\nTC,5,10,H000A\n");

    const std::string back = path("back.PDM");
    std::ostringstream out;
    ASSERT_EQ(runPdmImport({write("a.csv", csv.str()), back, "26"}, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "5 words written to " + back + "\n");
    EXPECT_EQ(test::readFile(back), test::readFile(pdm));

    // A spreadsheet's version of it: a byte order mark, CRLF, quotes, either value column.
    const std::string sheet = "\xEF\xBB\xBF"
                              "Area,Address,DEC,HEX\r\n"
                              "\"D\",\"0\",1,\r\n d , 1 ,,h00ff\r\n"
                              "D,2,65535,0xFFFF\r\n\r\ntc,5,10,A\r\nTC,4,4660,H1234\r\n";
    const std::string again = path("again.PDM");
    ASSERT_EQ(runPdmImport({write("sheet.csv", sheet), again, "A-21"}, out, err), 0) << err.str();
    EXPECT_EQ(test::readFile(again), test::readFile(pdm));

    // One area named: every word of it a file carries.
    std::ostringstream cs;
    ASSERT_EQ(runPdmExport({pdm, "cs", true}, cs, err), 0);
    const std::string rows = cs.str();
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 1 + 4056);
}

TEST_F(PdmCommands, ImportRefusesARowWithItsLineAndWritesNothing) {
    struct Case {
        std::string csv;
        std::string cpu;
        std::string error; // what standard error says after the file name
    };
    const Case cases[] = {
        // CPU type 0 has 10000 words of D.
        {"area,address,dec,hex\nD,9999,1,\nD,10000,2,\n", "0",
         ":3: D10000 is outside the D area of CPU type 0 (words 0 to 9999)"},
        {"D,0,1,\nQ\x1b[31m,1,2,\n", "26", ":2: unknown area \"Q\\x1B[31m\""},
        {"D,0,65536,\n", "26", ":1: DEC \"65536\" is not 0 to 65535"},
        {"D,0,12,H000D\n", "26", ":1: DEC and HEX disagree"},
        {"D,0,12,H10000\n", "26", ":1: HEX \"H10000\" is not H0000 to HFFFF"},
        {"D,0,1,\nD,0,2,\n", "26", ":2: D0 was already given on line 1"},
        {"D,0,1,\nD,1,1,\nD,5,1,\n", "26",
         ":3: D5 leaves D2 to D4 out; a restore writes every word of the range, so give them "
         "too"},
        {"CS,4056,1,\n", "26",
         ":1: CS4056 is outside the CS area of CPU type 26 (words 0 to "
         "4055)"},
        {"D,x,1,\n", "26", ":1: address \"x\" is not a word number"},
        {"D,1\n", "26", ":1: expected area,address,dec,hex"},
        {"area,address,dec,hex\n", "26", ": no rows"},
    };
    for (const auto& c : cases) {
        const std::string out = write("out.PDM", "previous");
        const std::string csv = write("in.csv", c.csv);
        std::ostringstream sout;
        std::ostringstream err;
        EXPECT_EQ(runPdmImport({csv, out, c.cpu}, sout, err), 2) << c.csv;
        EXPECT_EQ(err.str(), "dlutil: " + csv + c.error + "; nothing was written\n");
        EXPECT_EQ(test::readFile(out), (test::Bytes{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
    }
}

} // namespace
} // namespace dlu
