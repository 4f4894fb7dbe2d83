#include "app/settings/QtSettingsStore.h"

#include "common/AppSettings.h"

#include <QLocale>
#include <QSettings>

namespace dlu {

namespace {

QString toQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString keyPath(std::string_view section, std::string_view key) {
    return toQ(section) + QLatin1Char('/') + toQ(key);
}

} // namespace

QtSettingsStore::QtSettingsStore(std::optional<QString> directory)
    : directory_(std::move(directory)) {
    selectProfile(AppSettings::kProfile);
}

QtSettingsStore::~QtSettingsStore() = default;

void QtSettingsStore::selectProfile(std::string_view profile) {
    if (settings_) {
        settings_->sync();
    }
    profile_ = std::string(profile);
    const QString org = toQ(AppSettings::kOrganisation);
    if (directory_) {
        settings_ =
            std::make_unique<QSettings>(*directory_ + QLatin1Char('/') + org + QLatin1Char('/') +
                                            toQ(profile) + QStringLiteral(".conf"),
                                        QSettings::IniFormat);
    } else {
        settings_ = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, org,
                                                toQ(profile));
    }
}

std::string QtSettingsStore::profile() const { return profile_; }

std::string QtSettingsStore::getString(std::string_view section, std::string_view key,
                                       std::string_view defaultValue) {
    const QVariant v = settings_->value(keyPath(section, key));
    if (!v.isValid()) {
        return std::string(defaultValue);
    }
    return v.toString().toStdString();
}

void QtSettingsStore::writeString(std::string_view section, std::string_view key,
                                  std::string_view value) {
    settings_->setValue(keyPath(section, key), toQ(value));
    settings_->sync();
}

int QtSettingsStore::getInt(std::string_view section, std::string_view key, int defaultValue) {
    const QVariant v = settings_->value(keyPath(section, key));
    bool ok = false;
    const int value = v.toInt(&ok);
    return ok ? value : defaultValue;
}

void QtSettingsStore::writeInt(std::string_view section, std::string_view key, int value) {
    settings_->setValue(keyPath(section, key), value);
    settings_->sync();
}

QString QtSettingsStore::fileName() const { return settings_->fileName(); }

int systemLanguageId() {
    return QLocale::system().language() == QLocale::Korean ? AppSettings::kLangIdKorean
                                                           : AppSettings::kLangIdEnglishUs;
}

} // namespace dlu
