#pragma once

#include <string>
#include <string_view>

namespace dlu {

// Port to the per-user settings store: named values by profile, section and key, strings or
// integers. A missing value reads as the default given. The desktop and command-line programs
// hand the core a QSettings adapter; tests use an in-memory store.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Every later access goes to this profile ("TORVA" or "Downloader").
    virtual void selectProfile(std::string_view profile) = 0;
    virtual std::string profile() const = 0;

    virtual std::string getString(std::string_view section, std::string_view key,
                                  std::string_view defaultValue) = 0;
    virtual void writeString(std::string_view section, std::string_view key,
                             std::string_view value) = 0;
    virtual int getInt(std::string_view section, std::string_view key, int defaultValue) = 0;
    virtual void writeInt(std::string_view section, std::string_view key, int value) = 0;
};

} // namespace dlu
