#include "common/HelpLocation.h"

#include <gtest/gtest.h>

namespace dlu {
namespace {

TEST(HelpLocation, IsInTheParentOfTheProgramsFolder) {
    const struct {
        const char* program;
        const char* help;
    } cases[] = {
        {R"(C:\A\B\prog.exe)", R"(C:\A\TORVA.chm)"},
        {"/opt/torva/bin/downloader", "/opt/torva/TORVA.chm"},
        {"/usr/bin/downloader", "/usr/TORVA.chm"},
        {"/downloader", "TORVA.chm"},
        {"downloader", "TORVA.chm"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(helpFilePath(c.program), c.help) << c.program;
    }
}

} // namespace
} // namespace dlu
