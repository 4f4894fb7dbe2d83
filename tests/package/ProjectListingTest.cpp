#include "package/ProjectListing.h"

#include "PackageBuilder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace dlu {
namespace {

TEST(ProjectListing, ProgramsThenStProgramsForTheLinuxFamily) {
    test::PackageBuilder b;
    b.project("Line1", 27).program(1, "Main", 1).program(12, "Cold", 3).program(9, "Odd", 9);
    const ProjectInfo info(*parseProjectInfoIni(b.projectInfoIni()));
    StProgramTable st;
    std::vector<std::uint8_t> stl(100, 0);
    for (const auto& [n, name] : {std::pair{5, "Five"}, std::pair{0, "Zero"}}) {
        std::fill(stl.begin(), stl.end(), 0);
        stl[3] = static_cast<std::uint8_t>(n);
        std::copy_n(name, std::strlen(name), stl.begin() + 36);
        st.addStl(stl);
    }
    for (const Language lang : {Language::English, Language::Korean}) {
        const Messages messages(lang);
        const auto rows = programListRows(info, st, messages);
        ASSERT_EQ(rows.size(), 5u);
        const std::vector<std::string> rowTexts = {rows[0].rowText(), rows[3].rowText(),
                                                   rows[4].rowText()};
        EXPECT_EQ(rowTexts, (std::vector<std::string>{"  1", "  4", "  5"}));
        EXPECT_EQ(rows[1].pidText(), "012");
        EXPECT_EQ(rows[1].kindName, messages(646));
        EXPECT_EQ(rows[2].kindName, ""); // kind 9 has no name
        EXPECT_EQ(rows[3].pidText(), "ST000");
        EXPECT_EQ(rows[3].name, "Zero");
        EXPECT_EQ(rows[4].pidText(), "ST005");
        EXPECT_EQ(rows[4].kindName, messages(698));
    }
    EXPECT_EQ(programListRows(info, st, Messages(Language::English))[1].kindName,
              "Initialization Program (COLD)");

    // The same table does not show for a standard CPU.
    test::PackageBuilder standard;
    standard.project("Std", 0).program(1, "Main", 1);
    const ProjectInfo stdInfo(*parseProjectInfoIni(standard.projectInfoIni()));
    EXPECT_EQ(programListRows(stdInfo, st, Messages()).size(), 1u);
}

TEST(ProjectListing, SizeAndCountTexts) {
    struct Case {
        std::uint32_t size;
        const char* text;
    };
    for (const Case& c :
         {Case{0, "0 Byte"}, Case{999, "999 Byte"}, Case{1000, "1,000 Byte"},
          Case{1234567, "1,234,567 Byte"}, Case{4294967295u, "4,294,967,295 Byte"}}) {
        EXPECT_EQ(formatProjectSize(c.size), c.text);
    }
    EXPECT_EQ(formatProgramCount(3), "3 Files");
}

} // namespace
} // namespace dlu
