#include "package/ArchiveEntryName.h"

#include <gtest/gtest.h>

namespace dlu {
namespace {

TEST(ArchiveEntryName, RefusesNamesThatLeaveTheFolder) {
    struct Case {
        std::string name;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {"Line1.PRM", "Line1.PRM"},
        {"ST/Main.STL", "ST/Main.STL"},
        {"ST\\Main.STL", "ST/Main.STL"},
        {"ST/", "ST/"},
        {"./a//b", "a/b"},
        {"a..b/c..", "a..b/c.."},
        {"../evil", std::nullopt},
        {"ST/../../evil", std::nullopt},
        {"ST\\..\\..\\evil", std::nullopt},
        {"..", std::nullopt},
        {"/etc/passwd", std::nullopt},
        {"\\Windows\\x", std::nullopt},
        {"C:/x", std::nullopt},
        {"c:x", std::nullopt},
        {"file:stream", std::nullopt},
        {std::string("a\0b", 3), std::nullopt},
        {"", std::nullopt},
        {"./", std::nullopt},
        {std::string(kMaxEntryNameLength, 'a'), std::string(kMaxEntryNameLength, 'a')},
        {std::string(kMaxEntryNameLength + 1, 'a'), std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(safeEntryPath(c.name), c.path) << c.name;
    }
}

} // namespace
} // namespace dlu
