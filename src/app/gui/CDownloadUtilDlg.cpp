#include "app/gui/CDownloadUtilDlg.h"

#include "app/gui/CHistoryDlg.h"
#include "app/gui/DesktopJournal.h"
#include "app/gui/GuiPrompter.h"
#include "app/gui/HelpLauncher.h"
#include "app/gui/PeerDialogs.h"
#include "app/gui/ProgramListModel.h"
#include "app/gui/SessionWorker.h"
#include "comm/Connection.h"
#include "comm/ConnectionDisplay.h"
#include "comm/OperationNotes.h"
#include "comm/gui/CDialUpStatusDlg.h"
#include "common/AppSettings.h"
#include "common/MessageIds.h"
#include "common/OperationRecord.h"
#include "common/SettingsStore.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"
#include "download/DownloadObserver.h"
#include "download/gui/CProgressDlg.h"
#include "download/gui/DialogUnits.h"
#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/PackageReading.h"
#include "package/ProjectListing.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <chrono>
#include <cstdio>

// The window icon lives in the program's resources (a static library needs them pulled in).
static void initDownloaderResources() { Q_INIT_RESOURCE(downloader); }

namespace dlu::gui {

namespace {

QString idName(int id) { return QString::number(id); }

} // namespace

// Hands the download's progress from the worker thread to the progress window, queued.
class CDownloadUtilDlg::ProgressRelay final : public DownloadObserver {
public:
    explicit ProgressRelay(CDownloadUtilDlg* window) : window_(window) {}

    void planned(std::span<const DownloadItemPlan> items, std::uint64_t totalBytes) override {
        start_ = std::chrono::steady_clock::now();
        const int count = static_cast<int>(items.size());
        post([count, totalBytes](CProgressDlg& p) {
            p.planned(count, totalBytes);
            p.open();
        });
    }
    void itemStarted(const DownloadItemPlan& item, std::size_t) override {
        item_ = qtext(displaySafe(item.label));
    }
    void blockSent(const DownloadProgress& progress) override {
        bytesSent_ = progress.bytesSent;
        if (progress.itemDone()) {
            ++itemsSent_;
        }
        const int percent = progress.percent();
        const qulonglong sent = progress.bytesSent;
        const qulonglong total = progress.totalBytes;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        post([percent, item = item_, sent, total, elapsed](CProgressDlg& p) {
            p.progressed(percent, item, sent, total, elapsed);
        });
    }
    void finished(bool succeeded) override {
        post([succeeded](CProgressDlg& p) { p.finished(succeeded); });
    }
    // The progress window lives as long as the main window, which outlives every download.
    bool cancelled() override { return window_->progress_->cancelRequested(); }

    // What went over the link: items whose every block was sent, and bytes. Read once the
    // download's job has ended.
    std::uint64_t itemsSent() const { return itemsSent_; }
    std::uint64_t bytesSent() const { return bytesSent_; }

private:
    template <typename F> void post(F f) {
        CDownloadUtilDlg* w = window_;
        QMetaObject::invokeMethod(
            w,
            [w, f = std::move(f)] {
                if (w->progress_ != nullptr) {
                    f(*w->progress_);
                }
            },
            Qt::QueuedConnection);
    }

    CDownloadUtilDlg* window_; // outlives every download: closing waits for the transfer
    QString item_;
    std::chrono::steady_clock::time_point start_{};
    std::uint64_t itemsSent_ = 0;
    std::uint64_t bytesSent_ = 0;
};

CDownloadUtilDlg::CDownloadUtilDlg(const Messages& messages, SettingsStore& settings,
                                   GuiPrompter& prompter, SessionWorker& worker, QWidget* parent)
    : QDialog(parent), messages_(messages), settings_(settings), prompter_(prompter),
      worker_(worker), reader_(std::make_unique<CFileControl>(prompter, messages)),
      encryption_(std::make_unique<CFileEncryption>(prompter, messages)),
      journal_(std::make_unique<DesktopJournal>(settings, prompter, worker, messages)) {
    initDownloaderResources();
    setObjectName(QStringLiteral("CDownloadUtilDlg"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowIcon(QIcon(QStringLiteral(":/downloader/downloader.svg")));
    buildLayout();
    loadLabels();
    refillProgramList();
    showFields();
    prompter_.setMainWindow(this);
    // A dial-up line dials on the worker before its first frame; the status window follows.
    connect(&worker_, &SessionWorker::dialUpStatus, this, &CDownloadUtilDlg::onDialUpStatus);
    connect(&worker_, &SessionWorker::dialUpFinished, this, &CDownloadUtilDlg::onDialUpFinished);
    connect(&worker_, &SessionWorker::connectStatus, connectStatus_, &QLabel::setText);
}

CDownloadUtilDlg::~CDownloadUtilDlg() { worker_.waitIdle(); }

void CDownloadUtilDlg::buildLayout() {
    const DialogUnits du(*this);
    setFixedSize(du.x(kWidthUnits), du.y(kHeightUnits));

    const auto group = [&](const QString& name, const QString& title, QRect r) {
        auto* box = new QGroupBox(title, this);
        box->setObjectName(name);
        box->setGeometry(r);
        return box;
    };
    const auto button = [&](int id, QRect r) {
        auto* b = new QPushButton(this);
        b->setObjectName(idName(id));
        b->setGeometry(r);
        b->setAutoDefault(true);
        return b;
    };
    const auto field = [&](int id, QRect r) {
        auto* f = new QLineEdit(this);
        f->setObjectName(idName(id));
        f->setReadOnly(true);
        f->setGeometry(r);
        return f;
    };
    const auto label = [&](int id, QRect r) {
        auto* l = new QLabel(this);
        l->setObjectName(idName(id));
        l->setGeometry(r);
        return l;
    };

    // The connection.
    group(QStringLiteral("groupPlcConnect"), QStringLiteral("PLC Connect"), du.rect(5, 4, 322, 32));
    auto* setup = button(kIdConnectionSetup, du.rect(11, 15, 80, 14));
    connectionField_ = field(kIdConnectionDisplay, du.rect(95, 16, 226, 12));

    // Device memory, standard CPUs and the Linux family.
    group(idName(kIdDeviceMemoryFrame), QStringLiteral("Device Memory Recovery / Backup(PDM File)"),
          du.rect(5, 39, 159, 33));
    auto* restore = button(kIdRestore, du.rect(11, 51, 72, 14));
    auto* backup = button(kIdBackup, du.rect(86, 51, 72, 14));
    group(idName(kIdLinuxFrame), QStringLiteral("Device Memory Recovery / Backup(xow File)"),
          du.rect(168, 39, 159, 33));
    auto* linuxRestore = button(kIdLinuxRestore, du.rect(174, 51, 72, 14));
    auto* linuxBackup = button(kIdLinuxBackup, du.rect(249, 51, 72, 14));

    // The package.
    group(QStringLiteral("groupProgramDownloader"), QStringLiteral("Program Downloader"),
          du.rect(5, 75, 322, 254));
    auto* choose = button(kIdChoosePackage, du.rect(11, 86, 80, 14));
    pathField_ = field(kIdPathDisplay, du.rect(95, 87, 226, 12));

    group(idName(kIdProjectFrame), QString(), du.rect(11, 104, 310, 62));
    label(kIdProjectNameLabel, du.rect(17, 118, 62, 8));
    projectNameField_ = field(kIdProjectNameDisplay, du.rect(81, 116, 234, 12));
    label(kIdCpuTypeLabel, du.rect(17, 134, 62, 8));
    cpuTypeField_ = field(kIdCpuTypeDisplay, du.rect(81, 132, 82, 12));
    label(kIdSizeLabel, du.rect(169, 134, 64, 8));
    sizeField_ = field(kIdSizeDisplay, du.rect(235, 132, 80, 12));
    label(kIdProgramCountLabel, du.rect(17, 150, 62, 8));
    programCountField_ = field(kIdProgramCountDisplay, du.rect(81, 148, 82, 12));

    group(idName(kIdProgramFrame), QString(), du.rect(11, 169, 310, 154));
    buildProgramTable(du.rect(17, 180, 298, 137));

    // The actions.
    auto* help = button(kIdHelp, du.rect(5, 335, 64, 14));
    auto* init = button(kIdInitialize, du.rect(193, 335, 64, 14));
    historyButton_ = new QPushButton(this);
    historyButton_->setObjectName(QStringLiteral("history"));
    historyButton_->setGeometry(du.rect(73, 335, 64, 14));
    historyButton_->setAutoDefault(true);
    // The connect phase shows itself on a line of its own under the buttons.
    connectStatus_ = new QLabel(this);
    connectStatus_->setObjectName(QStringLiteral("connectStatus"));
    connectStatus_->setTextFormat(Qt::PlainText);
    connectStatus_->setWordWrap(false);
    connectStatus_->setGeometry(du.rect(5, 352, 322, 8));
    auto* download = button(kIdDownload, du.rect(263, 335, 64, 14));

    connect(setup, &QPushButton::clicked, this, &CDownloadUtilDlg::onConnectionSetup);
    connect(choose, &QPushButton::clicked, this, &CDownloadUtilDlg::onChoosePackage);
    connect(download, &QPushButton::clicked, this, &CDownloadUtilDlg::startDownload);
    connect(init, &QPushButton::clicked, this, &CDownloadUtilDlg::initialize);
    connect(help, &QPushButton::clicked, this, &CDownloadUtilDlg::onHelp);
    connect(historyButton_, &QPushButton::clicked, this, &CDownloadUtilDlg::onHistory);
    for (auto* b : {restore, backup, linuxRestore, linuxBackup}) {
        const int id = b->objectName().toInt();
        connect(b, &QPushButton::clicked, this, [this, id] { onDeviceMemory(id); });
        b->setText(QStringLiteral("Recovery(PC->PLC)"));
    }
    backup->setText(QStringLiteral("Backup(PLC->PC)"));
    linuxBackup->setText(QStringLiteral("Backup(PLC->PC)"));

    progress_ = new CProgressDlg(messages_, this);
}

void CDownloadUtilDlg::buildProgramTable(QRect geometry) {
    // Fixed row heights, rows selected whole, nothing edited.
    programTable_ = new QTableView(this);
    programTable_->setObjectName(idName(kIdProgramList));
    programTable_->setGeometry(geometry);
    model_ = new ProgramListModel(messages_, this);
    programTable_->setModel(model_);
    programTable_->verticalHeader()->hide();
    programTable_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    programTable_->verticalHeader()->setDefaultSectionSize(ProgramListModel::kRowHeight);
    programTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    programTable_->horizontalHeader()->setHighlightSections(false);
    programTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    programTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
    programTable_->setWordWrap(false);
    programTable_->setStyleSheet(QStringLiteral("QTableView { background: white; color: black; }"));
}

void CDownloadUtilDlg::loadLabels() {
    const struct {
        int control;
        int message;
    } labels[] = {
        {kIdChoosePackage, 503},
        {kIdConnectionSetup, 504},
        {kIdDownload, 505},
        {kIdInitialize, 506},
        {kIdHelp, 507},
        {kIdProjectFrame, 509},
        {kIdProjectNameLabel, 510},
        {kIdSizeLabel, 511},
        {kIdProgramCountLabel, 512},
        {kIdProgramFrame, 513},
    };
    for (const auto& l : labels) {
        QWidget* w = findChild<QWidget*>(idName(l.control));
        const QString text = qtext(messages_(l.message));
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            b->setText(text);
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            g->setTitle(text);
        } else if (auto* t = qobject_cast<QLabel*>(w)) {
            t->setText(text);
        }
    }
    historyButton_->setText(qtext(messages_(Msg::HistoryButton)));
    findChild<QLabel*>(idName(kIdCpuTypeLabel))->setText(QStringLiteral("CPU Type :"));
}

void CDownloadUtilDlg::showFields() {
    pathField_->setText(pathDisplay_);
    connectionField_->setText(connectionDisplay_);
    projectNameField_->setText(projectNameDisplay_);
    cpuTypeField_->setText(cpuTypeDisplay_);
    sizeField_->setText(sizeDisplay_);
    programCountField_->setText(programCountDisplay_);
    connectionField_->setAlignment(Qt::AlignLeft);
}

void CDownloadUtilDlg::refillProgramList() {
    model_->setRows(programListRows(projectInfo_, stTable_, messages_));
    for (int c = 0; c < ProgramListModel::kColumns - 1; ++c) {
        programTable_->setColumnWidth(c,
                                      ProgramListModel::kColumnWidths[static_cast<std::size_t>(c)]);
    }
    programTable_->setColumnWidth(ProgramListModel::kColumns - 1, model_->lastColumnWidth());
}

void CDownloadUtilDlg::useConnection(const ConnectionDescription& spec) {
    connectionChosen_ = true;
    worker_.setSpec(spec);
    connectionDisplay_ = qtext(connectionDisplayText(spec.toCommSet(), messages_));
    showFields();
}

void CDownloadUtilDlg::onConnectionSetup() {
    if (auto spec = runConnectionSetup(this, settings_, messages_)) {
        useConnection(*spec);
    }
}

void CDownloadUtilDlg::onChoosePackage() {
    const QString folder =
        qtext(settings_.getString(AppSettings::kSettingsSection, AppSettings::kFilePath, ""));
    const QString path = QFileDialog::getOpenFileName(
        this, QString(), folder, QStringLiteral("Download Files (*.DWN *.dwn)"));
    if (path.isEmpty()) {
        return;
    }
    openPackage(path);
}

bool CDownloadUtilDlg::openPackage(const QString& path) {
    const QFileInfo info(path);
    packagePath_ = info.absoluteFilePath();
    packageFileName_ = info.fileName();
    const QString folder = QDir::toNativeSeparators(info.absolutePath() + QLatin1Char('/'));
    settings_.writeString(AppSettings::kSettingsSection, AppSettings::kFilePath,
                          folder.toStdString());
    pathDisplay_ = QDir::toNativeSeparators(packagePath_);

    // A package that cannot be read (the reader has said why) clears the project: the window
    // never shows one project under the path of another file, and Download then says that no
    // package is loaded.
    const auto contents = readPackage(packagePath_.toStdString(), *reader_, *encryption_);
    if (contents) {
        projectInfo_ = contents->info;
        stTable_ = contents->st;
        projectSize_ = contents->projectSize;
        programCount_ = contents->info.storedProgramCount();
        projectCpuType_ = contents->info.cpuType();
        // Names from the package are shown with their control characters as escapes.
        projectNameDisplay_ = qtext(displaySafe(contents->info.projectName()));
        sizeDisplay_ = qtext(formatProjectSize(projectSize_));
        cpuTypeDisplay_ = qtext(CpuTypeTable::displayName(projectCpuType_));
        programCountDisplay_ = qtext(formatProgramCount(programCount_));
        refillProgramList();
        packageLoaded_ = true;
    } else {
        pathDisplay_.clear();
        packagePath_.clear();
        packageFileName_.clear();
        projectNameDisplay_.clear();
        cpuTypeDisplay_.clear();
        sizeDisplay_.clear();
        programCountDisplay_.clear();
        projectCpuType_ = kNoCpuType;
        programCount_ = 0;
        projectSize_ = 0;
        projectInfo_ = ProjectInfo();
        packageLoaded_ = false;
        refillProgramList();
    }
    showFields();
    return contents.has_value();
}

void CDownloadUtilDlg::initialize() {
    pathDisplay_.clear();
    connectionDisplay_.clear();
    projectNameDisplay_.clear();
    cpuTypeDisplay_.clear();
    sizeDisplay_.clear();
    programCountDisplay_.clear();
    packagePath_.clear();
    packageFileName_.clear();
    projectCpuType_ = kNoCpuType;
    programCount_ = 0;
    packageLoaded_ = false;
    connectionChosen_ = false;
    projectInfo_ = ProjectInfo();
    projectSize_ = 0;
    // The ST program table keeps its entries; without a Linux-family CPU type it is not shown.
    // A fresh connection forgets what the last status read kept; the settings stay as they
    // are.
    worker_.setSpec(ConnectionDescription{});
    refillProgramList();
    showFields();
}

bool CDownloadUtilDlg::transferRunning() const { return worker_.busy(); }

void CDownloadUtilDlg::setTransferRunning(bool running) {
    // The main window's own buttons; the progress window's Cancel stays usable.
    for (auto* b : findChildren<QPushButton*>()) {
        if (b->window() == this) {
            b->setEnabled(!running);
        }
    }
}

void CDownloadUtilDlg::startDownload() {
    if (worker_.busy()) {
        return;
    }
    DownloadJob job;
    if (packageLoaded_) {
        job.projectCpuType = projectCpuType_;
        job.packagePath = packagePath_.toStdString();
        job.packageFileName = packageFileName_.toStdString();
        job.stTable = stTable_;
    }
    // The operation record of this download, completed when it ends.
    journal_->begin();
    auto record = std::make_shared<OperationRecord>();
    record->operation = "download";
    record->filePath = job.packagePath;
    if (packageLoaded_) {
        record->projectName = std::string(projectInfo_.projectName());
        record->projectCpu = std::string(CpuTypeTable::displayName(projectCpuType_));
    }
    const bool chosen = connectionChosen_;
    auto relay = std::make_shared<ProgressRelay>(this);
    progress_->reset();
    auto outcome = std::make_shared<DownloadFlow::Outcome>(DownloadFlow::Outcome::NoPackage);
    setTransferRunning(true);
    worker_.run(
        [job = std::move(job), chosen, relay, outcome, record](Connection& c) {
            CFileControl reader(c.prompter(), c.messages());
            DownloadFlow flow(c.context(), c.session(), reader);
            flow.setObserver(relay.get());
            *outcome = flow.run(job, chosen);
            noteLink(*record, c.spec());
            notePlc(*record, c.session());
            return *outcome == DownloadFlow::Outcome::Succeeded;
        },
        [this, outcome, record, relay](bool ok) {
            lastOutcome_ = *outcome;
            if (progress_->isVisible()) {
                progress_->finished(ok);
            }
            record->items = relay->itemsSent();
            record->bytes = relay->bytesSent();
            record->result = ok ? OperationResult::Ok
                             : *outcome == DownloadFlow::Outcome::DownloadCancelled
                                 ? OperationResult::Cancelled
                                 : OperationResult::Failed;
            journal_->end(std::move(*record));
            setTransferRunning(false);
            emit downloadFinished(ok);
        });
}

void CDownloadUtilDlg::onDeviceMemory(int buttonId) {
    if (!connectionChosen_) {
        prompter_.message(messages_(Msg::NoConnection));
        return;
    }
    const bool linuxFamily = buttonId == kIdLinuxRestore || buttonId == kIdLinuxBackup;
    const auto cpu = runCpuTypeChoice(this, linuxFamily, messages_, prompter_);
    if (!cpu) {
        return;
    }
    setTransferRunning(true);
    const bool connected = worker_.runAndWait([type = *cpu](Connection& c) {
        c.session().setProjectCpuType(type);
        return c.session().connect();
    });
    setTransferRunning(false);
    if (!connected) {
        return; // the connect step has said why
    }
    const int direction = (buttonId == kIdRestore || buttonId == kIdLinuxRestore) ? 1 : 0;
    if (deviceMemory_) {
        deviceMemory_(buttonId, direction, *cpu, pathDisplay_);
    }
}

CDialUpStatusDlg* CDownloadUtilDlg::dialUpWindow() const { return dialUp_.data(); }

void CDownloadUtilDlg::onDialUpStatus(const QString& phone, int elapsedSeconds,
                                      const QString& status) {
    // The window lives from the first status of a call to the call's end, also when the user
    // cancelled it: statuses still on their way then land in the hidden window instead of
    // opening a new one.
    if (dialUp_ == nullptr) {
        dialUp_ = new CDialUpStatusDlg(messages_, this);
        connect(dialUp_, &CDialUpStatusDlg::cancelRequested, &worker_,
                &SessionWorker::cancelDialUp);
        dialUp_->open();
    }
    dialUp_->showStatus({phone.toStdString(), elapsedSeconds, status.toStdString()});
}

void CDownloadUtilDlg::onDialUpFinished(bool connected) {
    if (dialUp_ == nullptr) {
        return;
    }
    if (dialUp_->isVisible()) {
        dialUp_->finish(connected);
    }
    dialUp_->deleteLater();
    dialUp_.clear();
}

void CDownloadUtilDlg::onHelp() {
    QString manual;
    const bool shown = help_ ? help_(manual) : openHelp(manual);
    if (!shown) {
        // Without a viewer the user is told where to find the manual.
        prompter_.message(formatText(messages_(Msg::ManualNotShown), manual.toStdString().c_str()),
                          PromptButtons::Ok, PromptIcon::Information);
    }
}

void CDownloadUtilDlg::onHistory() {
    CHistoryDlg history(messages_, std::nullopt, journal_.get(), this);
    history.exec();
}

bool CDownloadUtilDlg::mayClose() {
    if (!worker_.busy()) {
        return true;
    }
    if (closing_) {
        return false;
    }
    // A transfer is never cut in the middle: the window closes once it has ended.
    if (prompter_.message(messages_(Msg::TransferRunning), PromptButtons::YesNo,
                          PromptIcon::Question) != PromptAnswer::Yes) {
        return false;
    }
    closing_ = true;
    worker_.waitIdle();
    closing_ = false;
    return true;
}

void CDownloadUtilDlg::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier &&
        qobject_cast<QPushButton*>(focusWidget()) == nullptr) {
        // Enter with no button focused (in the program list, say) does nothing: the window
        // has no default button, and Enter must never close the program.
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CDownloadUtilDlg::closeEvent(QCloseEvent* event) {
    if (!mayClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CDownloadUtilDlg::reject() {
    if (mayClose()) {
        QDialog::reject();
    }
}

void CDownloadUtilDlg::accept() {
    if (mayClose()) {
        QDialog::accept();
    }
}

} // namespace dlu::gui
