#include "common/AppSettings.h"
#include "common/CDownloadUtilApp.h"
#include "support/MemorySettingsStore.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace dlu {
namespace {

using test::MemorySettingsStore;
using S = AppSettings;

struct LanguageCase {
    const char* toolResource; // nullptr: not set at all
    int systemLanguage;
    Language expected;
    const char* writtenResource; // nullptr: nothing may be written
};

void PrintTo(const LanguageCase& c, std::ostream* os) {
    *os << (c.toolResource ? c.toolResource : "(unset)") << "/" << c.systemLanguage;
}

class StartupLanguage : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(StartupLanguage, FollowsToolThenSystem) {
    const auto& c = GetParam();
    MemorySettingsStore store;
    if (c.toolResource != nullptr) {
        store.seed(S::kToolProfile, S::kSettingsSection, S::kToolResource,
                   std::string(c.toolResource));
    }
    int systemAsked = 0;
    CDownloadUtilApp app(store, [&] {
        ++systemAsked;
        return c.systemLanguage;
    });

    EXPECT_EQ(app.start(), c.expected);
    EXPECT_EQ(app.messages().offset(), c.expected == Language::Korean ? 0 : 300);
    EXPECT_EQ(app.messages().languageFlag(), c.expected == Language::Korean ? 1 : 0);
    EXPECT_EQ(store.profile(), S::kProfile);

    const auto written = store.stored(S::kProfile, S::kSettingsSection, S::kDownloaderResource);
    if (c.writtenResource == nullptr) {
        EXPECT_EQ(store.writeCount(), 0);
        EXPECT_FALSE(written.has_value());
        EXPECT_EQ(systemAsked, 0) << "the tool's own language decides alone";
    } else {
        EXPECT_EQ(store.writeCount(), 1);
        ASSERT_TRUE(written.has_value());
        EXPECT_EQ(std::get<std::string>(*written), c.writtenResource);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupLanguage,
    ::testing::Values(LanguageCase{"LangKor.DLL", 1033, Language::Korean, nullptr},
                      LanguageCase{"langkor.dll", 1042, Language::English, nullptr},
                      LanguageCase{"LangEng.DLL", 1042, Language::English, nullptr},
                      LanguageCase{"LangKor.DLL ", 1042, Language::English, nullptr},
                      LanguageCase{"Whatever", 1042, Language::English, nullptr},
                      LanguageCase{"", 1042, Language::Korean, "LangKor.DLL"},
                      LanguageCase{nullptr, 1042, Language::Korean, "LangKor.DLL"},
                      LanguageCase{"", 1033, Language::English, "LangEng.DLL"},
                      LanguageCase{nullptr, 1041, Language::English, "LangEng.DLL"},
                      LanguageCase{nullptr, 0, Language::English, "LangEng.DLL"}));

TEST(StartupLanguage, OurOwnResourceValueIsNeverRead) {
    // A value left by an earlier run under our own profile must not decide the language.
    MemorySettingsStore store;
    store.seed(S::kProfile, S::kSettingsSection, S::kDownloaderResource,
               std::string(S::kKoreanResource));
    CDownloadUtilApp app(store, [] { return S::kLangIdEnglishUs; });
    EXPECT_EQ(app.start(), Language::English);
}

} // namespace
} // namespace dlu
