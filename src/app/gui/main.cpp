#include "app/gui/CDownloadUtilDlg.h"
#include "app/gui/DesktopJournal.h"
#include "app/gui/GuiPrompter.h"
#include "app/gui/PeerDialogs.h"
#include "app/gui/SessionWorker.h"
#include "app/gui/Theme.h"
#include "app/settings/QtSettingsStore.h"
#include "comm/CommSet.h"
#include "comm/Connection.h"
#include "common/AppSettings.h"
#include "common/CDownloadUtilApp.h"
#include "common/Clock.h"
#include "common/gui/QtTranslations.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QStringList>

// `downloader [package.DWN]`: the main window; a package named on the command line (as a file
// manager passes it) is opened as if chosen with "Search File...".
int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("downloader"));
    // The platform adds the display name to a window title that does not end with it: being
    // the main window's title, it shows there once.
    QApplication::setApplicationDisplayName(
        QString::fromLatin1(dlu::gui::CDownloadUtilDlg::kTitle));
    QApplication::setDesktopFileName(QStringLiteral("downloader"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/downloader/downloader.svg")));

    dlu::QtSettingsStore store;
    dlu::CDownloadUtilApp app(store, dlu::systemLanguageId);
    app.start();
    const dlu::gui::QtTranslations qtTexts(app.messages().language());
    dlu::gui::applyTheme(qapp,
                         dlu::gui::themeOfSetting(store.getInt(dlu::AppSettings::kSettingsSection,
                                                               dlu::AppSettings::kUiThemeType, 0)));

    // The process-wide connection record; the main window hands descriptions of it to the
    // worker.
    dlu::CommSet commSet;
    commSet.load(store);

    dlu::gui::GuiPrompter prompter;
    prompter.setPasswordAsker([&app](QWidget* parent, std::size_t maxLength) {
        return dlu::gui::runPasswordDialog(parent, maxLength, app.messages());
    });
    prompter.setEncryptionNotice(
        [&app](QWidget* parent) { dlu::gui::runEncryptionNotice(parent, app.messages()); });
    {
        dlu::gui::SessionWorker worker(prompter, app.messages());
        dlu::gui::CDownloadUtilDlg dialog(app.messages(), store, prompter, worker);
        // The device memory windows borrow the worker's connected session for each transfer;
        // the main window has already chosen the CPU type and connected. Their backups and
        // restores go into the main window's operation record.
        dlu::SystemClock clock;
        dlu::DevmemGuiEnv devmemEnv =
            dlu::gui::deviceMemoryEnv(worker, prompter, app.messages(), clock);
        devmemEnv.journal = &dialog.journal();
        dialog.setDeviceMemoryOpener([&](int buttonId, int direction, dlu::CpuType cpuType,
                                         const QString& path) {
            dlu::gui::runDeviceMemoryWindow(&dialog, devmemEnv, buttonId, direction, cpuType, path);
        });
        const QStringList args = QApplication::arguments();
        if (args.size() > 1 && QFileInfo(args.at(1)).isFile()) {
            dialog.show();
            dialog.openPackage(args.at(1));
        }
        dialog.exec();
    }
    return 0;
}
