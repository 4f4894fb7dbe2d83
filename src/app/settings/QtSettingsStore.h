#pragma once

#include "common/SettingsStore.h"

#include <QString>

#include <memory>
#include <optional>

class QSettings;

namespace dlu {

// SettingsStore on QSettings: organisation "TORVA", one QSettings application per profile,
// sections as groups. With `directory` set, the profiles are INI files below it
// (directory/TORVA/<profile>.ini, as in the user's ~/.config): tests use a temporary one, never the
// user's settings.
class QtSettingsStore final : public SettingsStore {
public:
    explicit QtSettingsStore(std::optional<QString> directory = std::nullopt);
    ~QtSettingsStore() override;

    void selectProfile(std::string_view profile) override;
    std::string profile() const override;

    std::string getString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) override;
    void writeString(std::string_view section, std::string_view key,
                     std::string_view value) override;
    int getInt(std::string_view section, std::string_view key, int defaultValue) override;
    void writeInt(std::string_view section, std::string_view key, int value) override;

    // Where the current profile lives.
    QString fileName() const;

private:
    std::optional<QString> directory_;
    std::string profile_;
    std::unique_ptr<QSettings> settings_;
};

// The operating system's default language as a Windows-style identifier: 1042 for Korean,
// 1033 for anything else (only Korean or not matters to us).
int systemLanguageId();

} // namespace dlu
