#include "devmem/gui/CLinuxDeviceMemorySetDlg.h"

#include "comm/OperationNotes.h"
#include "common/MessageIds.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "devmem/DeviceMemoryTransfer.h"
#include "devmem/TransferTexts.h"
#include "devmem/gui/CDeviceProgressDlg.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dlu {

namespace {

const QString kSaveFilter = QStringLiteral("PLC Device Files(Linux) (*.BIN)");
const QString kOpenFilter = QStringLiteral("Download Files (*.BIN)");

} // namespace

CLinuxDeviceMemorySetDlg::CLinuxDeviceMemorySetDlg(const DevmemGuiEnv& env, DeviceMemoryMode mode,
                                                   CpuType cpuType, const QString& folder,
                                                   const QString& initialFolder, QWidget* parent)
    : QDialog(parent), env_(env), mode_(mode), cpuType_(cpuType), initialFolder_(initialFolder) {
    setObjectName(QStringLiteral("378"));
    setModal(true);
    const bool backup = mode == DeviceMemoryMode::Backup;
    setWindowTitle(qtext(env.messages, backup ? Msg::TitleBackup : Msg::TitleRestore) +
                   QStringLiteral("(Linux)"));

    auto* path = new QPushButton(QStringLiteral("Path..."), this);
    path->setObjectName(QStringLiteral("1135"));
    path->setAutoDefault(false);
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("1134"));
    edit_->setReadOnly(true);
    edit_->setMinimumWidth(360);
    transferButton_ = new QPushButton(
        qtext(env.messages, backup ? Msg::UploadButton : Msg::DownloadButton), this);
    transferButton_->setObjectName(QStringLiteral("1133"));
    transferButton_->setAutoDefault(false);
    verify_ = new QCheckBox(qtext(env.messages, Msg::VerifyAfterRestore), this);
    verify_->setObjectName(QStringLiteral("verify"));
    verify_->setVisible(!backup);
    auto* close = new QPushButton(qtext(env.messages, Msg::CloseButton), this);
    close->setObjectName(QStringLiteral("2"));
    close->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(path);
    row->addWidget(edit_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(verify_);
    buttons->addStretch(1);
    buttons->addWidget(transferButton_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);

    connect(path, &QPushButton::clicked, this, &CLinuxDeviceMemorySetDlg::choosePath);
    connect(transferButton_, &QPushButton::clicked, this, [this] { runTransfer(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    const QString name = QString::fromStdString(
        LinuxDeviceMemoryTransfer::defaultFileName(DeviceMemoryTransfer::localNow()));
    const QString defaultFile = QDir(folder).filePath(name);
    if (backup) {
        setFile(defaultFile);
    } else if (readable(defaultFile)) {
        setFile(defaultFile);
        env_.prompter.message(env_.messages(Msg::FileLoaded));
    }
}

void CLinuxDeviceMemorySetDlg::start() {
    if (mode_ == DeviceMemoryMode::Backup) {
        choosePath();
    }
}

QString CLinuxDeviceMemorySetDlg::fileText() const { return edit_->text(); }

void CLinuxDeviceMemorySetDlg::setFile(const QString& path) {
    file_ = path;
    edit_->setText(
        QString::fromStdString(displaySafe(QDir::toNativeSeparators(path).toStdString())));
}

bool CLinuxDeviceMemorySetDlg::readable(const QString& path) const {
    const QFileInfo info(path);
    return info.isFile() && info.isReadable() && info.size() > 0;
}

void CLinuxDeviceMemorySetDlg::choosePath() {
    if (mode_ == DeviceMemoryMode::Backup) {
        const QString path =
            askSaveFile(env_, this, initialFolder_, QStringLiteral(".BIN"), kSaveFilter);
        if (!path.isEmpty()) {
            setFile(path);
        }
        return;
    }
    const QString path =
        env_.askFile(this, DevmemGuiEnv::FileDialog::Open, initialFolder_, {}, kOpenFilter);
    if (path.isEmpty()) {
        return;
    }
    setFile(path);
    if (readable(path)) {
        env_.prompter.message(env_.messages(Msg::FileLoaded));
    }
}

std::optional<LinuxDeviceMemoryTransfer::Report> CLinuxDeviceMemorySetDlg::runTransfer() {
    if (file_.isEmpty()) {
        // Nothing chosen: the core would have no file to write or read.
        env_.prompter.message(env_.messages(Msg::NoSavePath), PromptButtons::Ok,
                              PromptIcon::Warning);
        return std::nullopt;
    }
    const bool backup = mode_ == DeviceMemoryMode::Backup;
    if (backup && refusedSaveTarget(env_, file_)) {
        return std::nullopt;
    }
    if (env_.journal != nullptr) {
        env_.journal->begin();
    }
    CDeviceProgressDlg progress(
        this, backup ? CDeviceProgressDlg::Kind::Backup : CDeviceProgressDlg::Kind::Restore,
        env_.prompter, env_.messages);
    OperationRecord record;
    record.operation = backup ? "linux-backup" : "linux-restore";
    std::optional<LinuxDeviceMemoryTransfer::Report> report;
    std::optional<std::optional<LinuxDeviceMemoryTransfer::Verification>> found;
    const bool verify = !backup && verify_->isChecked();
    const std::filesystem::path file(file_.toStdString());
    setControlsEnabled(this, false);
    transferring_ = true;
    if (env_.runSession) {
        env_.runSession([&](COnlineModule& session) {
            notePlc(record, session);
            LinuxDeviceMemoryTransfer t({session, env_.prompter, env_.messages, env_.clock}, mode_,
                                        cpuType_);
            report = backup ? t.backup(file, &progress) : t.restore(file, &progress);
            const bool ok = report->outcome == LinuxDeviceMemoryTransfer::Outcome::Success;
            if (verify && ok) {
                found = t.verify(file, &progress);
            }
            return ok;
        });
    }
    transferring_ = false;
    setControlsEnabled(this, true);
    progress.hide();
    using Outcome = LinuxDeviceMemoryTransfer::Outcome;
    if (report && report->outcome == Outcome::Cancelled) {
        env_.prompter.message(env_.messages(backup ? Msg::BackupCancelled : Msg::RestoreStopped),
                              PromptButtons::Ok, PromptIcon::Information);
    }
    bool verified = true;
    if (found) {
        const auto outcome = imageVerifyOutcome(*found, env_.messages);
        verified = outcome.report.verified;
        showVerifyReport(env_, outcome.report);
    }
    if (env_.journal != nullptr) {
        const bool done = report && report->outcome == Outcome::Success;
        record.filePath = file_.toStdString();
        if (report) {
            record.items = report->done;
            record.bytes = report->bytes;
        }
        record.result = done && verified ? OperationResult::Ok
                        : report && report->outcome == Outcome::Cancelled
                            ? OperationResult::Cancelled
                            : OperationResult::Failed;
        env_.journal->end(std::move(record));
    }
    if (closeRequested_) {
        closeRequested_ = false;
        QDialog::reject();
    }
    return report;
}

void CLinuxDeviceMemorySetDlg::reject() {
    // Esc and the close box while a transfer runs: the window stays until the transfer ends.
    if (!transferring_) {
        QDialog::reject();
        return;
    }
    if (!closeRequested_ && closeAfterTransfer(env_)) {
        closeRequested_ = true;
    }
}

} // namespace dlu
