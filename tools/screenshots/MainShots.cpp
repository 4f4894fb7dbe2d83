// The main window with a demo package and a simulator connection, the download progress
// window in the middle of a download, and the operation record with a few operations.
#include "Screenshots.h"

#include "app/gui/CDownloadUtilDlg.h"
#include "app/gui/CHistoryDlg.h"
#include "app/gui/DesktopJournal.h"
#include "app/gui/GuiPrompter.h"
#include "app/gui/SessionWorker.h"
#include "app/settings/QtSettingsStore.h"
#include "common/MessageIds.h"
#include "common/OperationRecord.h"
#include "common/StringTable.h"
#include "common/TextFormat.h"
#include "download/gui/CProgressDlg.h"
#include "download/gui/DialogUnits.h"
#include "plc/PlcIdentification.h"

#include <QMessageBox>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <filesystem>
#include <memory>

namespace dlu::shots {
namespace {

// What the main window borrows, kept alive as long as the window (deleted with it).
class Keeper final : public QObject {
public:
    explicit Keeper(const Messages& m)
        : messages(m), store(settingsDir.path()),
          worker(new gui::SessionWorker(prompter, messages)) {}

    QTemporaryDir settingsDir;
    QTemporaryDir packageDir;
    Messages messages;
    QtSettingsStore store;
    gui::GuiPrompter prompter;
    gui::SessionWorker* worker; // a child of the window
};

QWidget* mainWindow(const Messages& messages) {
    auto keeper = std::make_unique<Keeper>(messages);
    auto* window = new gui::CDownloadUtilDlg(keeper->messages, keeper->store, keeper->prompter,
                                             *keeper->worker);
    keeper->worker->setParent(window);
    Keeper* k = keeper.release();
    k->setParent(window);

    // A copy of the Linux demo package: reading it works beside the file.
    const QString package = k->packageDir.filePath(QStringLiteral("LinuxDemo.DWN"));
    QFile::copy(QStringLiteral(DLU_SOURCE_DIR "/examples/LinuxDemo.DWN"), package);
    window->openPackage(package);
    SimulatorLink link;
    link.target.address = 0x7F000001U;
    ConnectionDescription spec;
    spec.link = link;
    window->useConnection(spec);
    return window;
}

QWidget* progressWindow(const Messages& messages) {
    auto* window = new gui::CProgressDlg(messages);
    window->planned(140, 12345);
    // 42 % of a 215,866-byte project over a 38,400 baud line.
    window->progressed(42, QStringLiteral("Program 003"), 90112, 215866, 25.6);
    return window;
}

// An A-21 project offered to an A-01: a pair the identification table does not name.
QWidget* cpuPairQuestion(const Messages& messages) {
    const auto plc = PlcIdentification::identify(0x3130, 26);
    const std::string text = std::string(messages(Msg::CpuWarning)) +
                             PlcIdentification::projectText(26) + plc.plcText + "\n\n" +
                             std::string(messages(Msg::CpuPairUnchecked));
    return gui::GuiPrompter::makeBox(gui::qtext(text), PromptButtons::YesNoDefaultNo,
                                     PromptIcon::Warning, {}, nullptr)
        .release();
}

// A download cancelled in the middle of its programs.
QWidget* downloadStopped(const Messages& messages) {
    const std::string text = std::string(messages(Msg::DownloadCancelled)) + "\n" +
                             formatText(messages(Msg::HoldsPartOfProject), "Program 003");
    return gui::GuiPrompter::makeBox(gui::qtext(text), PromptButtons::Ok, PromptIcon::Warning, {},
                                     nullptr)
        .release();
}

// A connection the PLC's host refused: message 652 with its cause under it.
QWidget* connectionRefused(const Messages& messages) {
    return gui::GuiPrompter::makeBox(gui::qtext(messages(Msg::ChannelOpenFailed)),
                                     PromptButtons::Ok, PromptIcon::None,
                                     QStringLiteral("connection refused by 127.0.0.1:10266"),
                                     nullptr)
        .release();
}

// The record's folder, the texts and the record's setting, kept alive as long as the history
// window.
class HistoryKeeper final : public QObject {
public:
    explicit HistoryKeeper(const Messages& m)
        : messages(m), store(settingsDir.path()), worker(prompter, messages),
          journal(store, prompter, worker, messages) {}
    QTemporaryDir stateDir;
    QTemporaryDir settingsDir;
    Messages messages;
    QtSettingsStore store;
    gui::GuiPrompter prompter;
    gui::SessionWorker worker;
    gui::DesktopJournal journal;
};

QWidget* historyWindow(const Messages& messages) {
    auto keeper = std::make_unique<HistoryKeeper>(messages);
    const std::filesystem::path folder = keeper->stateDir.path().toStdString();
    const OperationLog log(folder);
    const struct {
        int minute;
        const char* operation;
        const char* plc;
        const char* project;
        const char* file;
        OperationResult result;
    } samples[] = {
        {2, "download", "A-21", "Conveyor", "/home/lee/plc/Conveyor.DWN", OperationResult::Ok},
        {9, "backup", "A-21", "", "/home/lee/plc/line1-1207.PDM", OperationResult::Ok},
        {31, "download", "A-21", "Press", "/home/lee/plc/Press.DWN", OperationResult::Failed},
        {34, "download", "A-21", "Press", "/home/lee/plc/Press.DWN", OperationResult::Cancelled},
        {52, "linux-backup", "", "", "/home/lee/plc/cell4.xow", OperationResult::Ok},
    };
    for (const auto& s : samples) {
        OperationRecord r;
        r.time = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + std::chrono::hours{9} +
                 std::chrono::minutes{s.minute};
        r.program = "downloader";
        r.operation = s.operation;
        r.plcLabel = s.plc;
        r.projectName = s.project;
        r.filePath = s.file;
        r.result = s.result;
        std::string reason;
        log.append(r, reason);
    }
    auto* window = new gui::CHistoryDlg(keeper->messages, folder, &keeper->journal);
    keeper.release()->setParent(window);
    return window;
}

const Register mainShot{QStringLiteral("main-window"), mainWindow};
const Register refusedShot{QStringLiteral("connection-refused"), connectionRefused};
const Register pairShot{QStringLiteral("cpu-pair-question"), cpuPairQuestion};
const Register stoppedShot{QStringLiteral("download-stopped"), downloadStopped};
const Register progressShot{QStringLiteral("download-progress"), progressWindow};
const Register historyShot{QStringLiteral("history"), historyWindow};

} // namespace
} // namespace dlu::shots
