#pragma once

#include <string_view>

namespace dlu {

// Every settings name of the application shell, written once. The connection settings keep
// their own keys beside the connection record.
struct AppSettings {
    static constexpr std::string_view kOrganisation = "TORVA";
    static constexpr std::string_view kToolProfile = "TORVA";  // the programming tool's profile
    static constexpr std::string_view kProfile = "Downloader"; // ours

    static constexpr std::string_view kSettingsSection = "Settings";
    static constexpr std::string_view kToolResource = "Resource";
    static constexpr std::string_view kDownloaderResource = "Downloader Resource";
    static constexpr std::string_view kFilePath = "File Path";
    static constexpr std::string_view kUiThemeType = "UI Theme Type";
    // 0: the desktop program keeps no operation record (anything else, or none: it does).
    static constexpr std::string_view kOperationRecord = "Operation Record";

    static constexpr std::string_view kKoreanResource = "LangKor.DLL";
    static constexpr std::string_view kEnglishResource = "LangEng.DLL";

    // Language identifiers of the operating system.
    static constexpr int kLangIdKorean = 1042;
    static constexpr int kLangIdEnglishUs = 1033;
};

} // namespace dlu
