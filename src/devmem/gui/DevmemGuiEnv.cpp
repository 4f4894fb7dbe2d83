#include "devmem/gui/DevmemGuiEnv.h"

#include "common/FileTarget.h"
#include "common/MessageIds.h"
#include "common/Prompter.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"
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
    if (kind == FileDialog::Open) {
        return QFileDialog::getOpenFileName(parent, {}, start, filter);
    }
    // The dialog adds the extension itself, so that the file it asks about replacing is the
    // file that is then written.
    QFileDialog dialog(parent, {}, start, filter);
    dialog.setObjectName(QStringLiteral("saveFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QFileInfo(suggestedName).suffix());
    dialog.selectFile(start);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
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

bool refusedSaveTarget(const DevmemGuiEnv& env, const QString& path) {
    const std::string kind = nonRegularTarget(path.toStdString());
    if (kind.empty()) {
        return false;
    }
    env.prompter.message(formatText(env.messages(Msg::NotARegularFile),
                                    displaySafe(QDir::toNativeSeparators(path).toStdString()).c_str(),
                                    kind.c_str()),
                         PromptButtons::Ok, PromptIcon::Warning);
    return true;
}

QString askSaveFile(const DevmemGuiEnv& env, QWidget* parent, const QString& folder,
                    const QString& extension, const QString& filter) {
    for (;;) {
        QString path =
            env.askFile(parent, DevmemGuiEnv::FileDialog::Save, folder, extension, filter);
        if (path.isEmpty()) {
            return {};
        }
        if (QFileInfo(path).suffix().isEmpty()) {
            path += extension;
        }
        // A name that is only the extension names no file.
        if (QFileInfo(path).completeBaseName().isEmpty()) {
            env.prompter.message("File Name Error", PromptButtons::Ok, PromptIcon::Warning);
            continue;
        }
        if (refusedSaveTarget(env, path)) {
            continue;
        }
        return path;
    }
}

bool closeAfterTransfer(const DevmemGuiEnv& env) {
    return env.prompter.message(env.messages(Msg::TransferRunning), PromptButtons::YesNo,
                                PromptIcon::Question) == PromptAnswer::Yes;
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
