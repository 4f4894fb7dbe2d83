#include "package/ProjectInfo.h"

#include "PackageBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace dlu {
namespace {

using test::PackageBuilder;

std::string valueOf(const std::string& ini) {
    const auto start = ini.find('=') + 1;
    return ini.substr(start, ini.find('\r', start) - start);
}

TEST(ProjectInfo, ValuesThatDoNotDecodeGiveNothing) {
    const std::string good = PackageBuilder().project("P", 3).projectInfoIni();
    const std::string value = valueOf(good);
    std::string badCheck = good;
    const std::size_t checkAt = good.find('\r', good.find('=')) - 1;
    badCheck[checkAt] = badCheck[checkAt] == '0' ? '1' : '0';
    std::string badDigit = good;
    badDigit[good.find('=') + 5] = 'G';
    std::string lower = good;
    std::transform(lower.begin() + static_cast<long>(good.find('=')), lower.end(),
                   lower.begin() + static_cast<long>(good.find('=')),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });

    struct Case {
        const char* what;
        std::string text;
        bool decodes;
    };
    const Case cases[] = {
        {"as written", good, true},
        {"lower-case digits", lower, true},
        {"LF line ends, blanks, other keys first",
         "; comment\n[Other]\nPROJECT_INFO=00\n[ belko_plc ]\nNAME=x\n project_info = " + value +
             "  \n",
         true},
        {"wrong check byte", badCheck, false},
        {"not a hexadecimal digit", badDigit, false},
        {"one byte short", "[BELKO_PLC]\nPROJECT_INFO=" + value.substr(2) + "\n", false},
        {"one byte long", "[BELKO_PLC]\nPROJECT_INFO=00" + value + "\n", false},
        {"key in another section only", "[OTHER]\nPROJECT_INFO=" + value + "\n", false},
        {"no key", "[BELKO_PLC]\nPROJECT=" + value + "\n", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseProjectInfoIni(c.text).has_value(), c.decodes) << c.what;
    }
}

TEST(ProjectInfo, MissingOrBadFileLeavesTheRecordZero) {
    EXPECT_TRUE(readProjectInfo("/nonexistent/dir/x.INI").isZero());
    const ProjectInfo zero;
    EXPECT_EQ(zero.projectName(), "");
    EXPECT_EQ(zero.cpuType(), 0);
    EXPECT_EQ(zero.programCount(), 0u);
}

TEST(ProjectInfo, CountsAndNamesAreBounded) {
    PackageBuilder b;
    const std::string longName(40, 'N'); // the builder fills all 32 bytes: no zero byte
    b.project(std::string(31, 'P'), 0).program(1, longName, 1).storedProgramCount(0xFFFF);
    const auto record = parseProjectInfoIni(b.projectInfoIni());
    ASSERT_TRUE(record.has_value());
    const ProjectInfo info(*record);
    EXPECT_EQ(info.storedProgramCount(), 0xFFFF);
    EXPECT_EQ(info.programCount(), ProjectInfo::kMaxPrograms);
    EXPECT_EQ(info.program(0).nameText(), std::string(32, 'N'));
    EXPECT_EQ(info.program(ProjectInfo::kMaxPrograms - 1).nameText(), "");
    EXPECT_EQ(info.program(ProjectInfo::kMaxPrograms).pid, 0); // outside: empty entry

    // A project name filling all 32 bytes stops at the field's end.
    ProjectInfo::Record raw{};
    std::fill_n(raw.begin(), 40, 'X');
    EXPECT_EQ(ProjectInfo(raw).projectName(), std::string(32, 'X'));
}

} // namespace
} // namespace dlu
