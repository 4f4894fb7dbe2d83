#include "app/gui/HelpLauncher.h"

#include "common/HelpLocation.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace dlu::gui {

QString installedManualPath(const QString& programFolder) {
    return QDir::cleanPath(
        QDir(programFolder).filePath(QStringLiteral("../share/doc/downloader/manual.html")));
}

QString findManual(const QString& programFolder) {
    const QDir dir(programFolder);
    const QStringList candidates = {
        installedManualPath(programFolder),
        dir.filePath(QStringLiteral("manual.html")),
#ifdef DLU_SOURCE_DOCS_DIR
        QStringLiteral(DLU_SOURCE_DOCS_DIR "/manual.html"),
#endif
    };
    for (const QString& c : candidates) {
        if (QFileInfo(c).isFile()) {
            return QFileInfo(c).canonicalFilePath();
        }
    }
    return {};
}

bool openHelp(QString& manualPlace) {
    const QString program = QCoreApplication::applicationFilePath();
    const QString help = QString::fromStdString(helpFilePath(program.toStdString()));
    if (QFileInfo(help).isFile() && QDesktopServices::openUrl(QUrl::fromLocalFile(help))) {
        return true;
    }
    const QString folder = QCoreApplication::applicationDirPath();
    const QString manual = findManual(folder);
    manualPlace = manual.isEmpty() ? installedManualPath(folder) : manual;
    return !manual.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(manual));
}

} // namespace dlu::gui
