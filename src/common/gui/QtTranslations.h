#pragma once

#include "common/StringTable.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>
#include <QTranslator>

namespace dlu::gui {

// Qt's own texts (the standard buttons of message boxes and button boxes, the file dialogs) in
// the language of the run, so that a Korean window does not offer "Yes" and "Cancel". Korean
// comes from the translations installed with Qt ("qtbase_ko.qm", Debian package
// qt6-translations-l10n); English is Qt's own and needs none. Installed while the object
// lives; made after the application object and before the first window.
class QtTranslations {
public:
    explicit QtTranslations(Language language) {
        if (language != Language::Korean) {
            return;
        }
        installed_ = translator_.load(QStringLiteral("qtbase_ko"), folder()) &&
                     QCoreApplication::installTranslator(&translator_);
    }
    ~QtTranslations() {
        if (installed_) {
            QCoreApplication::removeTranslator(&translator_);
        }
    }
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    // False in English, and in Korean when the translation file is missing (Qt's English
    // texts are shown then).
    bool installed() const { return installed_; }

    static QString folder() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

private:
    QTranslator translator_;
    bool installed_ = false;
};

} // namespace dlu::gui
