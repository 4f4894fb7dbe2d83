#include "devmem/TransferTexts.h"

#include "common/StringTable.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace dlu {
namespace {

using Step = ImageVerifyOutcome::Step;
using Verification = LinuxDeviceMemoryTransfer::Verification;

// Both programs take what the read-back of a device image came to from here: the file gone,
// the image not read back, or the comparison.
TEST(ImageVerifyOutcomeTest, TellsWhatTheReadBackCameTo) {
    struct Case {
        const char* what;
        std::optional<Verification> found;
        Step step;
        bool verified;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"file gone",
         std::nullopt,
         Step::FileUnreadable,
         false,
         {"Device memory file does not exist.\nPlease check."}},
        {"not read back",
         Verification{false, 0, 8, std::nullopt},
         Step::NotReadBack,
         false,
         {"Uploading error."}},
        {"same bytes",
         Verification{true, 8, 8, std::nullopt},
         Step::Compared,
         true,
         {"Verified 4 words"}},
        {"a byte differs",
         Verification{true, 8, 8, 5},
         Step::Compared,
         false,
         {"Word 2 (byte 5) of the image differs from the file."}},
    };
    const Messages en(Language::English);
    for (const auto& c : cases) {
        const ImageVerifyOutcome outcome = imageVerifyOutcome(c.found, en);
        EXPECT_EQ(outcome.step, c.step) << c.what;
        EXPECT_EQ(outcome.report.verified, c.verified) << c.what;
        EXPECT_EQ(outcome.report.lines, c.lines) << c.what;
    }
}

} // namespace
} // namespace dlu
