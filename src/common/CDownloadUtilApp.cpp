#include "common/CDownloadUtilApp.h"

#include "common/AppSettings.h"

#include <utility>

namespace dlu {

CDownloadUtilApp::CDownloadUtilApp(SettingsStore& settings, std::function<int()> systemLanguageId)
    : settings_(settings), systemLanguageId_(std::move(systemLanguageId)) {}

Language CDownloadUtilApp::start() {
    using S = AppSettings;
    settings_.selectProfile(S::kToolProfile);
    const std::string toolResource = settings_.getString(S::kSettingsSection, S::kToolResource, "");
    settings_.selectProfile(S::kProfile);

    Language lang = Language::English;
    if (!toolResource.empty()) {
        // The tool decides; the comparison is exact, so "langkor.dll" means English.
        lang = toolResource == S::kKoreanResource ? Language::Korean : Language::English;
    } else {
        const bool korean = systemLanguageId_ && systemLanguageId_() == S::kLangIdKorean;
        lang = korean ? Language::Korean : Language::English;
        settings_.writeString(S::kSettingsSection, S::kDownloaderResource,
                              korean ? S::kKoreanResource : S::kEnglishResource);
    }
    messages_ = Messages(lang);
    return lang;
}

} // namespace dlu
