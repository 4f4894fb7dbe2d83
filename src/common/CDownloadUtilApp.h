#pragma once

#include "common/SettingsStore.h"
#include "common/StringTable.h"

#include <functional>

namespace dlu {

// Start-up of the application: binds the settings store to our profile and fixes the
// language of the run. The Qt programs call start() before they open their first window.
class CDownloadUtilApp {
public:
    // `systemLanguageId` answers the operating system's default language identifier
    // (1042 Korean, 1033 English (US), ...); asked only when the programming tool has no
    // language of its own.
    CDownloadUtilApp(SettingsStore& settings, std::function<int()> systemLanguageId);

    // Reads the programming tool's language, leaves the store on the "Downloader" profile and
    // decides Korean or English. Writes "Downloader Resource" only when the tool's value is
    // empty. Never fails: a missing value is empty.
    Language start();

    Language language() const { return messages_.language(); }
    const Messages& messages() const { return messages_; }

private:
    SettingsStore& settings_;
    std::function<int()> systemLanguageId_;
    Messages messages_;
};

} // namespace dlu
