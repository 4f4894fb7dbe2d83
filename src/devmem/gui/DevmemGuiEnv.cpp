#include "devmem/gui/DevmemGuiEnv.h"

#include "common/Prompter.h"
#include "common/StringTable.h"
#include "devmem/TransferTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWidget>

namespace dlu {

QString DevmemGuiEnv::askFile(QWidget* parent, FileDialog kind, const QString& folder,
                              const QString& suggestedName, const QString& filter) const {
    if (chooseFile) {
        return chooseFile(parent, kind, folder, suggestedName, filter);
    }
    const QString start = QDir(folder).filePath(suggestedName);
    return kind == FileDialog::Save ? QFileDialog::getSaveFileName(parent, {}, start, filter)
                                    : QFileDialog::getOpenFileName(parent, {}, start, filter);
}

QString defaultDeviceMemoryFolder() {
    QString folder = QCoreApplication::applicationDirPath();
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir() || !info.isWritable()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty()) {
            folder = QDir::homePath();
        }
    }
    return QDir::toNativeSeparators(QDir(folder).absolutePath() + QLatin1Char('/'));
}

void setControlsEnabled(QWidget* window, bool enabled) {
    for (auto* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isWindow()) {
            w->setEnabled(enabled);
        }
    }
}

void showVerifyReport(const DevmemGuiEnv& env, const VerifyReport& report) {
    std::string text;
    for (const auto& line : report.lines) {
        text += (text.empty() ? "" : "\n") + line;
    }
    env.prompter.message(text, PromptButtons::Ok,
                         report.verified ? PromptIcon::Information : PromptIcon::Warning);
}

QString qtext(const Messages& messages, int koreanId) {
    const auto t = messages(koreanId);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

} // namespace dlu
