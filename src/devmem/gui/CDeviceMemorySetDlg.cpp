#include "devmem/gui/CDeviceMemorySetDlg.h"

#include "comm/OperationNotes.h"
#include "common/MessageIds.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/gui/DialogText.h"
#include "devmem/TransferProgress.h"
#include "devmem/TransferTexts.h"
#include "devmem/gui/CDeviceProgressDlg.h"
#include "devmem/gui/CDeviceViewerDlg.h"
#include "plc/DeviceArea.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <filesystem>

namespace dlu {

namespace {

const QString kSaveFilter = QStringLiteral("PLC Device Files (*.PDM)");
const QString kOpenFilter = QStringLiteral("Download Files (*.PDM)");

QPushButton* button(QWidget* parent, const QString& id, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(id);
    b->setAutoDefault(false);
    return b;
}

std::filesystem::path toPath(const QString& s) { return std::filesystem::path(s.toStdString()); }

} // namespace

CDeviceMemorySetDlg::CDeviceMemorySetDlg(const DevmemGuiEnv& env, DeviceMemoryMode mode,
                                         CpuType cpuType, const QString& folder,
                                         const QString& initialFolder, QWidget* parent)
    : QDialog(parent), env_(env), transfer_(env.prompter, env.messages, env.clock, mode, cpuType),
      initialFolder_(initialFolder) {
    setObjectName(QStringLiteral("374"));
    setModal(true);
    buildControls();

    // Opening: the view button waits for an image; the default name comes from the time.
    setWindowTitle(QString::fromStdString(transfer_.title()));
    transfer_.open(toPath(folder), DeviceMemoryTransfer::localNow());
    // A backup's file exists only once a backup (or Save) has written it: opening the window
    // leaves nothing on disk.
    if (mode == DeviceMemoryMode::Restore) {
        transferButton_->setText(qtext(env.messages, Msg::DownloadButton));
        viewEnabled_ = transfer_.image().loaded();
    }
    refresh();
}

CDeviceMemorySetDlg::~CDeviceMemorySetDlg() = default;

QGroupBox* CDeviceMemorySetDlg::buildAreas() {
    auto* areas = new QGroupBox(this);
    auto* grid = new QGridLayout(areas);
    const auto* validator =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,10}")), this);
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        const DeviceArea& a = DeviceAreas::at(i);
        const auto caption = gui::layoutText(env_.messages, a.buttonCaption, a.englishCaption);
        auto* b = button(areas, QString::number(a.buttonId), caption);
        b->setCheckable(true);
        auto* start = new QLineEdit(areas);
        start->setObjectName(QString::number(a.startEditId));
        auto* end = new QLineEdit(areas);
        end->setObjectName(QString::number(a.endEditId));
        for (auto* e : {start, end}) {
            e->setValidator(validator);
            e->setMaximumWidth(70);
            connect(e, &QLineEdit::editingFinished, this, [this, i] { readEdits(i); });
        }
        connect(b, &QPushButton::clicked, this, [this, i](bool on) { areaToggled(i, on); });
        const int row = i % 8;
        const int col = (i / 8) * 4;
        grid->addWidget(b, row, col);
        grid->addWidget(start, row, col + 1);
        grid->addWidget(new QLabel(QStringLiteral("~"), areas), row, col + 2);
        grid->addWidget(end, row, col + 3);
        areaButtons_[static_cast<std::size_t>(i)] = b;
        startEdits_[static_cast<std::size_t>(i)] = start;
        endEdits_[static_cast<std::size_t>(i)] = end;
    }
    return areas;
}

void CDeviceMemorySetDlg::buildControls() {
    auto* pathButton = button(this, QStringLiteral("1100"), QStringLiteral("Path..."));
    file_ = new QLineEdit(this);
    file_->setObjectName(QStringLiteral("1102"));
    file_->setReadOnly(true);
    all_ = new QCheckBox(gui::layoutText(env_.messages, "전체(&A)", "&All"), this);
    all_->setObjectName(QStringLiteral("1101"));

    QGroupBox* areas = buildAreas();

    auto* defaults = button(this, QStringLiteral("1128"), QStringLiteral("Defa&ult"));
    auto* maximum = button(this, QStringLiteral("1130"),
                           gui::layoutText(env_.messages, "최대값설정", "Set Maximum"));
    auto* clearAll = button(this, QStringLiteral("1127"),
                            gui::layoutText(env_.messages, "모두지우기", "Clear All"));
    view_ = button(this, QStringLiteral("1131"),
                   gui::layoutText(env_.messages, "디바이스 보기...", "View Device..."));
    auto* saveButton =
        button(this, QStringLiteral("1132"), gui::layoutText(env_.messages, "저장", "Save"));
    transferButton_ = button(this, QStringLiteral("1126"), qtext(env_.messages, Msg::UploadButton));
    auto* close = button(this, QStringLiteral("2"), qtext(env_.messages, Msg::CloseButton));
    verify_ = new QCheckBox(qtext(env_.messages, Msg::VerifyAfterRestore), this);
    verify_->setObjectName(QStringLiteral("verify"));
    verify_->setVisible(transfer_.mode() == DeviceMemoryMode::Restore);
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("1129"));
    notice_->setWordWrap(true);

    auto* top = new QHBoxLayout;
    top->addWidget(pathButton);
    top->addWidget(file_, 1);
    auto* side = new QVBoxLayout;
    for (auto* b : {defaults, maximum, clearAll}) {
        side->addWidget(b);
    }
    side->addSpacing(12);
    side->addWidget(view_);
    side->addWidget(saveButton);
    side->addStretch(1);
    side->addWidget(verify_);
    side->addWidget(transferButton_);
    side->addWidget(close);
    auto* middle = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(all_);
    left->addWidget(areas);
    middle->addLayout(left, 1);
    middle->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addWidget(notice_);

    connect(pathButton, &QPushButton::clicked, this, &CDeviceMemorySetDlg::choosePath);
    connect(all_, &QCheckBox::clicked, this, [this](bool on) {
        transfer_.selection().setAll(on);
        refresh();
    });
    connect(defaults, &QPushButton::clicked, this, [this] {
        transfer_.askDefault();
        refresh();
    });
    connect(maximum, &QPushButton::clicked, this, [this] {
        transfer_.askMaximum();
        refresh();
    });
    connect(clearAll, &QPushButton::clicked, this, [this] {
        transfer_.askClearAll();
        refresh();
    });
    connect(view_, &QPushButton::clicked, this, &CDeviceMemorySetDlg::view);
    connect(saveButton, &QPushButton::clicked, this, &CDeviceMemorySetDlg::save);
    connect(transferButton_, &QPushButton::clicked, this, [this] { runTransfer(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

QString CDeviceMemorySetDlg::fileText() const { return file_->text(); }
QString CDeviceMemorySetDlg::notice() const { return notice_->text(); }

void CDeviceMemorySetDlg::refresh() {
    const auto& sel = transfer_.selection();
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        const auto& a = sel.area(i);
        const auto n = static_cast<std::size_t>(i);
        areaButtons_[n]->setChecked(a.checked);
        areaButtons_[n]->setEnabled(a.buttonEnabled);
        for (auto* e : {startEdits_[n], endEdits_[n]}) {
            e->setEnabled(a.editsEnabled);
        }
        startEdits_[n]->setText(QString::number(a.range.start));
        endEdits_[n]->setText(QString::number(a.range.end));
    }
    all_->setChecked(sel.allChecked());
    notice_->setText(QString::fromStdString(sel.notice()));
    file_->setText(QString::fromStdString(displaySafe(transfer_.file().string())));
    view_->setEnabled(viewEnabled_);
}

void CDeviceMemorySetDlg::readEdits(int area) {
    const auto n = static_cast<std::size_t>(area);
    bool okStart = false;
    bool okEnd = false;
    const qulonglong start = startEdits_[n]->text().toULongLong(&okStart);
    const qulonglong end = endEdits_[n]->text().toULongLong(&okEnd);
    // Only unsigned 32-bit numbers are taken; anything else puts the old numbers back.
    if (okStart && okEnd && start <= 0xFFFFFFFFull && end <= 0xFFFFFFFFull) {
        transfer_.selection().setRange(
            area, {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end)});
    }
    refresh();
}

void CDeviceMemorySetDlg::areaToggled(int area, bool checked) {
    transfer_.selection().setChecked(area, checked);
    refresh();
}

void CDeviceMemorySetDlg::choosePath() {
    if (transfer_.mode() == DeviceMemoryMode::Backup) {
        const QString path =
            askSaveFile(env_, this, initialFolder_, QStringLiteral(".PDM"), kSaveFilter);
        if (path.isEmpty()) {
            return;
        }
        transfer_.setFile(toPath(path));
        refresh();
        return;
    }
    const QString path =
        env_.askFile(this, DevmemGuiEnv::FileDialog::Open, initialFolder_, {}, kOpenFilter);
    if (path.isEmpty()) {
        return;
    }
    const auto result = transfer_.load(toPath(path));
    if (result == PdmFile::LoadResult::Loaded || result == PdmFile::LoadResult::NotLoaded) {
        viewEnabled_ = true;
    }
    refresh();
}

void CDeviceMemorySetDlg::save() {
    if (refusedSaveTarget(env_, QString::fromStdString(transfer_.file().string()))) {
        return;
    }
    transfer_.save();
    refresh();
}

void CDeviceMemorySetDlg::view() {
    if (!transfer_.image().loaded()) {
        env_.prompter.message(env_.messages(transfer_.mode() == DeviceMemoryMode::Restore
                                                ? Msg::NoDeviceFile
                                                : Msg::NothingToSave),
                              PromptButtons::Ok, PromptIcon::Warning);
        return;
    }
    CDeviceViewerDlg viewer(env_, transfer_.cpuType(), transfer_.image(), this);
    if (viewerOpened) {
        viewerOpened(viewer);
        return;
    }
    viewer.exec();
}

std::optional<DeviceMemoryTransfer::Result> CDeviceMemorySetDlg::runTransfer() {
    // An edit still holding the focus has not been read yet.
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        const auto n = static_cast<std::size_t>(i);
        const auto& r = transfer_.selection().area(i).range;
        if (startEdits_[n]->text() != QString::number(r.start) ||
            endEdits_[n]->text() != QString::number(r.end)) {
            readEdits(i);
        }
    }
    int failingArea = -1;
    if (transfer_.check(&failingArea) != DeviceMemoryTransfer::Result::Done) {
        if (failingArea >= 0) {
            startEdits_[static_cast<std::size_t>(failingArea)]->setFocus();
        }
        return std::nullopt;
    }
    const bool backup = transfer_.mode() == DeviceMemoryMode::Backup;
    if (backup) {
        viewEnabled_ = false;
        refresh();
    }
    if (env_.journal != nullptr) {
        env_.journal->begin();
    }
    CDeviceProgressDlg progress(
        this, backup ? CDeviceProgressDlg::Kind::Backup : CDeviceProgressDlg::Kind::Restore,
        env_.prompter, env_.messages);
    TransferTally tally(progress);
    OperationRecord record;
    record.operation = backup ? "backup" : "restore";
    std::optional<DeviceMemoryTransfer::Result> result;
    std::optional<DeviceMemoryTransfer::Verification> found;
    const bool verify = !backup && verify_->isChecked();
    // The window stays painted but takes no input while the session works on its image.
    setControlsEnabled(this, false);
    transferring_ = true;
    if (env_.runSession) {
        env_.runSession([&](COnlineModule& session) {
            notePlc(record, session);
            transfer_.attach(&session);
            result = backup ? transfer_.backup(&tally) : transfer_.restore(&tally);
            if (verify && *result == DeviceMemoryTransfer::Result::Done) {
                found = transfer_.verify(&progress);
            }
            transfer_.attach(nullptr);
            return *result == DeviceMemoryTransfer::Result::Done;
        });
    }
    transferring_ = false;
    setControlsEnabled(this, true);
    progress.hide();
    if (result == DeviceMemoryTransfer::Result::Cancelled) {
        env_.prompter.message(env_.messages(backup ? Msg::BackupCancelled : Msg::RestoreStopped),
                              PromptButtons::Ok, PromptIcon::Information);
    }
    // A read-back that went unanswered has shown its message (550) already.
    bool verified = !found || found->result == DeviceMemoryTransfer::Result::Done;
    if (found && found->result == DeviceMemoryTransfer::Result::Done) {
        const auto report = verifyReport(*found, env_.messages);
        verified = report.verified;
        showVerifyReport(env_, report);
    }
    if (env_.journal != nullptr) {
        const bool done = result == DeviceMemoryTransfer::Result::Done;
        record.filePath = transfer_.file().string();
        record.bytes = tally.bytes(done);
        record.result = done && verified ? OperationResult::Ok
                        : result == DeviceMemoryTransfer::Result::Cancelled
                            ? OperationResult::Cancelled
                            : OperationResult::Failed;
        env_.journal->end(std::move(record));
    }
    viewEnabled_ = viewEnabled_ || transfer_.image().loaded();
    refresh();
    if (closeRequested_) {
        closeRequested_ = false;
        QDialog::reject();
    }
    return result;
}

void CDeviceMemorySetDlg::reject() {
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
