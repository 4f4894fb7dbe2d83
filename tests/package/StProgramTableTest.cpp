#include "package/StProgramTable.h"

#include "PackageBuilder.h"
#include "PackageTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace dlu {
namespace {

using test::Bytes;

Bytes stl(std::uint8_t number, std::string_view name, std::size_t size = 100) {
    Bytes b(std::max<std::size_t>(size, 100), 0xEE);
    std::fill(b.begin() + 36, b.begin() + 68, 0);
    b[3] = number;
    std::copy(name.begin(), name.end(), b.begin() + 36);
    b.resize(size);
    return b;
}

TEST(StProgramTable, BuildsFromTheStlFilesOfTheFolder) {
    test::TempDir dir;
    const std::string st = dir.path() + "/ST";
    std::filesystem::create_directory(st);
    struct File {
        const char* name;
        Bytes content;
    };
    const File files[] = {
        {"Conv.STL", stl(0, "Conv")},
        {"lower.stl", stl(5, "lower")},
        {"A_first.STL", stl(9, "A_first")},
        {"B_second.STL", stl(9, "B_second")}, // same number, later name: wins
        {"Big.STL", stl(128, "Big")},         // outside the table
        {"Short.STL", stl(12, "Shor", 40)},   // name cut where the file ends
        {"Tiny.STL", Bytes{1, 2, 3}},         // no number byte
        {"Last.STL", stl(127, "Last", 1000)},
        {"Conv.STB", stl(1, "NotAList")},
    };
    for (const File& f : files) {
        test::writeFile(st + "/" + f.name, f.content);
    }
    std::filesystem::create_directory(st + "/Dir.STL");

    StProgramTable table;
    table.build(st);
    std::vector<std::pair<unsigned, std::string>> present;
    for (std::size_t n = 0; n < StProgramTable::kEntryCount; ++n) {
        if (table.present(n)) {
            present.emplace_back(table.entry(n).pid, std::string(table.entry(n).nameText()));
            EXPECT_EQ(table.entry(n).kind, 0);
        }
    }
    const std::vector<std::pair<unsigned, std::string>> expected = {
        {0, "Conv"}, {5, "lower"}, {9, "B_second"}, {12, "Shor"}, {127, "Last"}};
    EXPECT_EQ(present, expected);

    table.build(dir.path() + "/missing");
    EXPECT_FALSE(table.present(0));
}

TEST(StProgramTable, NamesWithoutZeroStopAtThirtyTwoBytes) {
    StProgramTable table;
    Bytes b(100, 'Z');
    b[3] = 4;
    EXPECT_TRUE(table.addStl(b));
    EXPECT_EQ(table.entry(4).nameText(), std::string(32, 'Z'));
    EXPECT_FALSE(table.addStl(Bytes{0, 0, 0}));
    EXPECT_FALSE(table.present(0));
}

} // namespace
} // namespace dlu
