// The main window as a user meets it: real dialogs and message boxes on the offscreen
// platform, the download flow on the worker thread against the in-process simulator or the
// plcsim program over TCP, settings in a temporary folder.
#include "GuiTestSupport.h"
#include "PackageBuilder.h"
#include "app/gui/CDownloadUtilDlg.h"
#include "app/gui/CHistoryDlg.h"
#include "app/gui/GuiPrompter.h"
#include "app/gui/PeerDialogs.h"
#include "app/gui/ProgramListModel.h"
#include "app/gui/SessionWorker.h"
#include "app/settings/QtSettingsStore.h"
#include "comm/Connection.h"
#include "comm/gui/CDialUpStatusDlg.h"
#include "common/Clock.h"
#include "common/MessageIds.h"
#include "common/OperationRecord.h"
#include "common/StringTable.h"
#include "common/TextFormat.h"
#include "common/gui/QtTranslations.h"
#include "devmem/gui/CDeviceMemorySetDlg.h"
#include "devmem/gui/CLinuxDeviceMemorySetDlg.h"
#include "devmem/gui/CpuTypeSheet.h"
#include "package/CFileEncryption.h"
#include "package/gui/CEncryptionMsgDlg.h"
#include "download/gui/CProgressDlg.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/PlcServer.h"
#include "sim/PlcSimulator.h"
#include "support/ChildProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

namespace dlu {
namespace {

using test::BoxAnswerer;
using test::Bytes;
using test::PackageBuilder;

constexpr int kHelpButton = 161;

// The main window over a worker whose every channel leads to the in-process simulator (or,
// with `realChannels`, the Qt channels).
struct Window {
    explicit Window(Language language, sim::PlcConfig config = {}, bool realChannels = false,
                    sim::FaultConfig faults = {})
        : qtTexts(language), messages(language), store(settingsDir.path()), plc(config, faults),
          prompter(),
          worker(prompter, messages,
                 realChannels ? gui::SessionWorker::FactoryMaker{}
                              : gui::SessionWorker::FactoryMaker{[this] {
                                    return std::make_unique<sim::EmbeddedChannelFactory>(plc);
                                }}),
          dialog(messages, store, prompter, worker) {
        dialog.show();
    }

    QString field(int id) const {
        return dialog.findChild<QLineEdit*>(QString::number(id))->text();
    }
    QString packageFile(const std::string& name, const PackageBuilder& builder) {
        const std::string path = packageDir.filePath(QString::fromStdString(name)).toStdString();
        builder.write(path);
        return QString::fromStdString(path);
    }
    // Presses Download and waits for the flow to end on the worker.
    bool download() {
        QSignalSpy finished(&dialog, &gui::CDownloadUtilDlg::downloadFinished);
        dialog.findChild<QPushButton*>(QStringLiteral("160"))->click();
        EXPECT_TRUE(finished.wait(60000));
        return !finished.isEmpty() && finished.first().first().toBool();
    }
    std::string text(int id) const { return std::string(messages(id)); }

    // Qt's own texts in the window's language, as the program's start loads them.
    gui::QtTranslations qtTexts;
    QTemporaryDir settingsDir;
    QTemporaryDir packageDir;
    Messages messages;
    QtSettingsStore store;
    sim::PlcSimulator plc;
    gui::GuiPrompter prompter;
    gui::SessionWorker worker;
    gui::CDownloadUtilDlg dialog;
    BoxAnswerer boxes;
};

// The items of `kind` the PLC holds, in the order they came.
std::vector<Bytes> itemsHeld(const sim::PlcSimulator& plc, char kind) {
    std::vector<Bytes> held;
    for (const auto& item : plc.downloadItems()) {
        if (item.kind == kind) {
            const auto bytes = item.bytes();
            held.emplace_back(bytes.begin(), bytes.end());
        }
    }
    return held;
}

SimulatorLink simulatorAt(std::uint16_t port) {
    SimulatorLink link;
    link.target.address = 0x7F000001U;
    link.target.port = port;
    return link;
}

ConnectionDescription described(ConnectionLink link) {
    ConnectionDescription s;
    s.link = std::move(link);
    s.timeoutSeconds = 3;
    return s;
}

// A PLC at REMOTE RUN: 662 Yes, the download, 651, 663 No. The window keeps serving its
// timers while the worker sends, and the simulated PLC ends up holding the project.
TEST(MainWindow, FullDownloadAgainstTheSimulator) {
    sim::PlcConfig config;
    config.state = sim::RunState::Run;
    Window w(Language::English, config);
    const Bytes parameter(700, 0x5A);
    const std::vector<Bytes> programs = {Bytes(952, 0x11), Bytes(400, 0x22)};
    const QString path = w.packageFile("Line1.DWN", PackageBuilder()
                                                        .project("Line1", 26)
                                                        .program(0, "MAIN", 1)
                                                        .program(1, "SUB", 2)
                                                        .parameterData(parameter)
                                                        .linkPrograms(programs));
    ASSERT_TRUE(w.dialog.openPackage(path));
    w.dialog.useConnection(described(simulatorAt(10523)));
    w.boxes.answer(QMessageBox::Yes); // 662: to Remote STOP
    w.boxes.answer(QMessageBox::No);  // 663: stay stopped

    int ticksWhileRunning = 0;
    std::set<std::string> enabledWhileRunning; // the main window's own buttons
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (w.dialog.transferRunning()) {
            ++ticksWhileRunning;
            for (auto* b : w.dialog.findChildren<QPushButton*>()) {
                if (b->window() == &w.dialog && b->isEnabled()) {
                    enabledWhileRunning.insert(b->objectName().toStdString());
                }
            }
        }
    });
    ticker.start();
    QSignalSpy progressClosed(w.dialog.progressWindow(), &QDialog::finished);

    EXPECT_TRUE(w.download());
    EXPECT_EQ(w.boxes.shown(), (std::vector<std::string>{w.text(662), w.text(651), w.text(663)}));
    EXPECT_EQ(w.boxes.unusedAnswers(), 0u);
    EXPECT_GT(ticksWhileRunning, 0) << "the window's event loop ran while the worker sent";
    EXPECT_EQ(enabledWhileRunning, std::set<std::string>{}) << "no second job while one runs";
    EXPECT_EQ(progressClosed.size(), 1) << "the progress window was shown and closed";
    EXPECT_FALSE(w.dialog.progressWindow()->isVisible());
    EXPECT_EQ(w.dialog.progressWindow()->currentItem(), QStringLiteral("Program 001"));
    // 700 parameter bytes, 128 PBT entries of 64, the programs' 952 and 400.
    EXPECT_EQ(w.dialog.progressWindow()->bytesText(), QStringLiteral("10,244 / 10,244 bytes"));
    EXPECT_FALSE(w.dialog.progressWindow()->rateText().isEmpty());
    EXPECT_EQ(w.plc.runState(), sim::RunState::Stop);
    for (auto* b : w.dialog.findChildren<QPushButton*>()) {
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    }

    // What the PLC holds: the parameter data and both programs, byte for byte.
    EXPECT_EQ(itemsHeld(w.plc, 'P'), std::vector<Bytes>{parameter});
    EXPECT_EQ(itemsHeld(w.plc, 'C'), programs);
}

// XDG_STATE_HOME set to a temporary folder for as long as it lives, the record turned on.
class StateHome {
public:
    StateHome() : savedState_(qgetenv("XDG_STATE_HOME")), savedOff_(qgetenv("DLUTIL_NO_HISTORY")) {
        qputenv("XDG_STATE_HOME", dir_.path().toLocal8Bit());
        qunsetenv("DLUTIL_NO_HISTORY");
    }
    ~StateHome() {
        restore("XDG_STATE_HOME", savedState_);
        restore("DLUTIL_NO_HISTORY", savedOff_);
    }
    StateHome(const StateHome&) = delete;
    StateHome& operator=(const StateHome&) = delete;

    std::filesystem::path folder() const {
        return std::filesystem::path(dir_.path().toStdString()) / "download-utility";
    }
    void append(const OperationRecord& record) const {
        std::string reason;
        ASSERT_TRUE(OperationLog(folder()).append(record, reason)) << reason;
    }
    void appendRaw(const std::string& line) const {
        std::ofstream(folder() / "history.jsonl", std::ios::app) << line << "\n";
    }

private:
    static void restore(const char* name, const QByteArray& value) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    }
    QTemporaryDir dir_;
    QByteArray savedState_;
    QByteArray savedOff_;
};

// The lines of the operation record in `folder`, parsed.
std::vector<nlohmann::json> recordLines(const std::filesystem::path& folder) {
    std::ifstream in(folder / "history.jsonl");
    std::vector<nlohmann::json> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

// A download from the window appends its line to the operation record: the package's SHA-256
// as OpenSSL computes it here, the link, the items and bytes the simulated PLC received, and
// the last message in English although the window runs in Korean. The History window's check
// box turns the record off.
TEST(MainWindow, DownloadIsRecordedUntilTheSettingTurnsItOff) {
    StateHome state;
    Window w(Language::Korean);
    const QString path =
        w.packageFile("Line1.DWN", PackageBuilder().project("Line1", 26).program(0, "MAIN", 1));
    ASSERT_TRUE(w.dialog.openPackage(path));
    w.dialog.useConnection(described(simulatorAt(10523)));
    w.boxes.answer(QMessageBox::No); // 663: stay stopped
    EXPECT_TRUE(w.download());

    auto lines = recordLines(state.folder());
    ASSERT_EQ(lines.size(), 1u);
    const auto& j = lines[0];
    std::uint64_t received = 0;
    for (const auto& item : w.plc.downloadItems()) {
        received += item.bytes().size();
    }
    EXPECT_EQ(j["program"], "downloader");
    EXPECT_EQ(j["operation"], "download");
    EXPECT_EQ(j["result"], "ok");
    EXPECT_EQ(j["connection"]["type"], "sim");
    EXPECT_EQ(j["connection"]["address"], "127.0.0.1:10523");
    EXPECT_EQ(j["project"]["name"], "Line1");
    EXPECT_EQ(j["file"]["path"], path.toStdString());
    EXPECT_EQ(j["file"]["sha256"], test::sha256HexOfFile(path.toStdString()));
    EXPECT_EQ(j["plc"]["label"], "A-21");
    EXPECT_EQ(j["items"], w.plc.downloadItems().size());
    EXPECT_EQ(j["bytes"], received);
    EXPECT_EQ(j["message"], "Download succeeded.");

    {
        gui::CHistoryDlg history(w.messages, std::nullopt, &w.dialog.journal());
        auto* keep = history.findChild<QCheckBox*>(QStringLiteral("keepRecord"));
        ASSERT_NE(keep, nullptr);
        EXPECT_TRUE(keep->isChecked());
        keep->click();
    }
    w.boxes.answer(QMessageBox::No);
    EXPECT_TRUE(w.download());
    EXPECT_EQ(recordLines(state.folder()).size(), 1u) << "the setting turned the record off";
    gui::CHistoryDlg again(w.messages, std::nullopt, &w.dialog.journal());
    EXPECT_FALSE(again.findChild<QCheckBox*>(QStringLiteral("keepRecord"))->isChecked());
}

// A record that cannot be written (its folder's name is taken by a file) is told once, with
// why; the downloads succeed all the same.
TEST(MainWindow, ARecordThatCannotBeWrittenIsToldOnce) {
    StateHome state;
    std::ofstream(state.folder()) << "not a folder";
    Window w(Language::English);
    const QString path =
        w.packageFile("Line1.DWN", PackageBuilder().project("Line1", 26).program(0, "MAIN", 1));
    ASSERT_TRUE(w.dialog.openPackage(path));
    w.dialog.useConnection(described(simulatorAt(10523)));
    for (int run = 0; run < 2; ++run) {
        w.boxes.answer(QMessageBox::No); // 663
        EXPECT_TRUE(w.download()) << run;
    }
    const auto& shown = w.boxes.shown();
    const auto warnings = std::count_if(shown.begin(), shown.end(), [](const std::string& t) {
        return t.starts_with("The operation record could not be written.");
    });
    EXPECT_EQ(warnings, 1) << ::testing::PrintToString(shown);
    const auto at = std::find_if(shown.begin(), shown.end(), [](const std::string& t) {
        return t.starts_with("The operation record could not be written.");
    });
    ASSERT_NE(at, shown.end());
    EXPECT_NE(w.boxes.causes()[static_cast<std::size_t>(at - shown.begin())].find(
                  state.folder().string()),
              std::string::npos);
}

OperationRecord historyRecord(int minute, std::string operation, std::string plc,
                              std::string project, std::string file, OperationResult result) {
    OperationRecord r;
    r.time = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + std::chrono::hours{14} +
             std::chrono::minutes{minute};
    r.program = "downloader";
    r.operation = std::move(operation);
    r.plcLabel = std::move(plc);
    r.projectName = std::move(project);
    r.filePath = std::move(file);
    r.result = result;
    return r;
}

// The rows of the history window's table, cell by cell.
std::vector<std::vector<std::string>> historyRows(const gui::CHistoryDlg& dlg) {
    const auto* model = dlg.findChild<QTableView*>(QStringLiteral("historyTable"))->model();
    std::vector<std::vector<std::string>> rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        std::vector<std::string> cells;
        for (int column = 0; column < model->columnCount(); ++column) {
            cells.push_back(model->index(row, column).data().toString().toStdString());
        }
        rows.push_back(cells);
    }
    return rows;
}

// Two operations recorded: the window lists the later one first, with the time, operation,
// PLC, project (or else the file) and result of each.
TEST(HistoryWindow, ListsTheRecordNewestFirst) {
    StateHome state;
    state.append(historyRecord(1, "download", "A-21", "Line1", "/p/Line1.DWN", OperationResult::Ok));
    state.append(historyRecord(5, "backup", "", "", "/p/press.PDM", OperationResult::Failed));
    const Messages messages(Language::English);
    gui::CHistoryDlg dlg(messages);
    using Row = std::vector<std::string>;
    EXPECT_EQ(historyRows(dlg),
              (std::vector<Row>{{"2026-12-07T14:05:00Z", "backup", "-", "/p/press.PDM", "failed"},
                                {"2026-12-07T14:01:00Z", "download", "A-21", "Line1", "ok"}}));
}

// A line that is not a record is left out and counted under the table; the records around
// it are shown.
TEST(HistoryWindow, SkipsADamagedLine) {
    StateHome state;
    state.append(historyRecord(1, "download", "A-21", "Line1", "", OperationResult::Ok));
    state.appendRaw("{\"time\": \"2026-12-07T14:02:00Z\", \"operation\"");
    state.append(historyRecord(3, "restore", "A-21", "", "/p/a.PDM", OperationResult::Cancelled));
    const Messages messages(Language::English);
    gui::CHistoryDlg dlg(messages);
    const auto rows = historyRows(dlg);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], "restore");
    EXPECT_EQ(rows[1][1], "download");
    EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("historyNote"))->text().toStdString(),
              "Lines that could not be read: 1");
}

// Copy puts the selected rows on the clipboard, top to bottom, one line each, the cells
// separated by tabs.
TEST(HistoryWindow, CopyPutsTheSelectedRowsOnTheClipboard) {
    StateHome state;
    state.append(historyRecord(1, "download", "A-21", "Line1", "", OperationResult::Ok));
    state.append(historyRecord(2, "backup", "A-21", "", "/p/b.PDM", OperationResult::Ok));
    state.append(historyRecord(3, "restore", "B-02", "", "/p/b.PDM", OperationResult::Failed));
    const Messages messages(Language::English);
    gui::CHistoryDlg dlg(messages);
    dlg.show();
    auto* table = dlg.findChild<QTableView*>(QStringLiteral("historyTable"));
    QApplication::clipboard()->setText(QStringLiteral("before"));
    // Rows 2 and 0 picked in that order.
    table->selectionModel()->select(table->model()->index(2, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table->selectionModel()->select(table->model()->index(0, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    dlg.findChild<QPushButton*>(QStringLiteral("copy"))->click();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
              "2026-12-07T14:03:00Z\trestore\tB-02\t/p/b.PDM\tfailed\n"
              "2026-12-07T14:01:00Z\tdownload\tA-21\tLine1\tok\n");
}

// Texts from the file are shown as plain text, a control character or a direction override
// escaped, markup as its characters.
TEST(HistoryWindow, ShowsCraftedTextsEscaped) {
    const struct {
        std::string project;
        std::string shown;
    } cases[] = {
        {"Line\x1b]0;owned\x07", "Line\\x1B]0;owned\\x07"},
        {"a\tb", "a\\x09b"},
        {"ab\xe2\x80\xae" "cd", "ab\\u202Ecd"},
        {"<b>bold</b>", "<b>bold</b>"},
    };
    for (const auto& c : cases) {
        StateHome state;
        state.append(historyRecord(1, "download", "A-21", c.project, "", OperationResult::Ok));
        const Messages messages(Language::English);
        gui::CHistoryDlg dlg(messages);
        const auto rows = historyRows(dlg);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][3], c.shown) << c.shown;
    }
}

// History... sits between Help and Initialize, in the window's language, and opens the
// record; the connect status moved to a line of its own under the buttons.
TEST(MainWindow, HistoryButtonOpensTheRecord) {
    StateHome state;
    state.append(historyRecord(1, "download", "A-21", "Line1", "", OperationResult::Ok));
    for (const auto language : {Language::English, Language::Korean}) {
        Window w(language);
        auto* history = w.dialog.findChild<QPushButton*>(QStringLiteral("history"));
        ASSERT_NE(history, nullptr);
        EXPECT_EQ(history->text().toStdString(),
                  language == Language::English ? "History..." : "이력...");
        const auto* help = w.dialog.findChild<QPushButton*>(QString::number(kHelpButton));
        const auto* init = w.dialog.findChild<QPushButton*>(QStringLiteral("162"));
        EXPECT_GT(history->geometry().left(), help->geometry().right());
        EXPECT_LT(history->geometry().right(), init->geometry().left());
        EXPECT_EQ(history->geometry().top(), help->geometry().top());
        const auto* status = w.dialog.findChild<QLabel*>(QStringLiteral("connectStatus"));
        EXPECT_GT(status->geometry().top(), help->geometry().bottom());
        EXPECT_LE(status->geometry().bottom(), w.dialog.height());

        std::vector<std::vector<std::string>> shown;
        QTimer look;
        look.setInterval(15);
        QObject::connect(&look, &QTimer::timeout, [&] {
            if (auto* dlg = qobject_cast<gui::CHistoryDlg*>(QApplication::activeModalWidget())) {
                shown = historyRows(*dlg);
                dlg->findChild<QPushButton*>(QStringLiteral("close"))->click();
            }
        });
        look.start();
        history->click();
        look.stop();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0][3], "Line1");
    }
}

// The same download from the window over TCP to the plcsim program, as README describes, on
// the Ethernet page with a port of its own: the way to a plcsim that does not listen on the
// simulator's fixed port (the simulator page over TCP: PlcsimOverTcp, Dlutil).
TEST(MainWindow, DownloadToPlcsimOverTcp) {
    test::ChildProcess plcsim(PLCSIM_PATH, {"--port", "0"});
    const int port = test::listeningPort(plcsim.line());
    ASSERT_NE(port, 0);
    EthernetLink ethernet;
    ethernet.target = simulatorAt(static_cast<std::uint16_t>(port)).target;
    Window w(Language::English, {}, /*realChannels=*/true);
    ASSERT_TRUE(w.dialog.openPackage(
        w.packageFile("Line1.DWN", PackageBuilder().project("Line1", 26).program(0, "MAIN", 1))));
    w.dialog.useConnection(described(ethernet));
    w.boxes.answer(QMessageBox::No); // 663, if plcsim is at REMOTE
    EXPECT_TRUE(w.download());
    EXPECT_NE(std::find(w.boxes.shown().begin(), w.boxes.shown().end(), w.text(651)),
              w.boxes.shown().end());
}

// A refused connection keeps its message and names the cause under it.
TEST(MainWindow, RefusedConnectionShowsItsCause) {
    std::uint16_t closed = 0;
    {
        // A port that was just free on loopback: nothing listens there.
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closed = probe.serverPort();
    }
    EthernetLink ethernet;
    ethernet.target = simulatorAt(closed).target;
    for (const Language language : {Language::English, Language::Korean}) {
        Window w(language, {}, /*realChannels=*/true);
        ASSERT_TRUE(w.dialog.openPackage(w.packageFile(
            "Line1.DWN", PackageBuilder().project("Line1", 26).program(0, "MAIN", 1))));
        w.dialog.useConnection(described(ethernet));
        EXPECT_FALSE(w.download());
        // 652 with the system's reason under it, then the window's own 703.
        EXPECT_EQ(w.boxes.shown(),
                  (std::vector<std::string>{w.text(Msg::ChannelOpenFailed), w.text(403)}));
        EXPECT_EQ(w.boxes.causes(),
                  (std::vector<std::string>{
                      "connection refused by 127.0.0.1:" + std::to_string(closed), ""}));
    }
}

// Help without a program to show the manual says where the manual is.
TEST(MainWindow, HelpWithoutAViewerSaysWhereTheManualIs) {
    for (const Language language : {Language::English, Language::Korean}) {
        Window w(language);
        int asked = 0;
        w.dialog.setHelpOpener([&asked](QString& manual) {
            ++asked;
            manual = QStringLiteral("/usr/share/doc/downloader/manual.html");
            return false;
        });
        w.dialog.findChild<QPushButton*>(QString::number(kHelpButton))->click();
        // The box is shown and answered before the click returns.
        ASSERT_EQ(w.boxes.shown().size(), std::size_t{1});
        EXPECT_EQ(asked, 1);
        const std::string text = w.boxes.shown().front();
        EXPECT_NE(text.find("/usr/share/doc/downloader/manual.html"), std::string::npos) << text;
        EXPECT_EQ(text.find("%s"), std::string::npos) << text;

        w.boxes.clear();
        w.dialog.setHelpOpener([](QString&) { return true; });
        w.dialog.findChild<QPushButton*>(QString::number(kHelpButton))->click();
        EXPECT_TRUE(w.boxes.shown().empty()) << "an opened manual needs no message";
    }
}

// Closing the window while a download runs asks first (705). No keeps the window and the
// transfer; Yes closes the window only once the transfer has ended, so the PLC holds every
// item whole.
TEST(MainWindow, ClosingDuringADownloadAsksAndWaits) {
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        sim::FaultConfig slow;
        slow.turnaroundMs = 10; // each request takes a while
        Window w(Language::English, {}, false, slow);
        const Bytes program(3000, 0x44);
        ASSERT_TRUE(w.dialog.openPackage(w.packageFile(
            "Line1.DWN",
            PackageBuilder().project("Line1", 26).program(0, "MAIN", 1).linkPrograms({program}))));
        w.dialog.useConnection(described(simulatorAt(10523)));
        w.boxes.answer(yes ? QMessageBox::Yes : QMessageBox::No); // 705
        w.boxes.answer(QMessageBox::No);                          // 663: stay stopped

        QSignalSpy finished(&w.dialog, &gui::CDownloadUtilDlg::downloadFinished);
        bool askedWhileRunning = false;
        qsizetype finishedWhenClosed = -1;
        QTimer watch;
        watch.setInterval(5);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (w.dialog.transferRunning() && w.dialog.progressWindow()->isVisible()) {
                watch.stop();
                askedWhileRunning = true;
                w.dialog.close(); // the close box
                finishedWhenClosed = finished.size();
            }
        });
        watch.start();
        w.dialog.findChild<QPushButton*>(QStringLiteral("160"))->click();
        EXPECT_TRUE(finished.wait(60000) || !finished.isEmpty());
        ASSERT_TRUE(askedWhileRunning);
        EXPECT_EQ(w.boxes.shown().front(), w.text(405));
        EXPECT_EQ(w.dialog.isVisible(), !yes);
        if (yes) {
            EXPECT_EQ(finishedWhenClosed, 1) << "the window closed before the transfer ended";
        }
        ASSERT_EQ(finished.size(), 1);
        EXPECT_TRUE(finished.first().first().toBool());
        EXPECT_EQ(itemsHeld(w.plc, 'C'), std::vector<Bytes>{program});
    }
}

// Cancel in the progress window (here Esc, as the keyboard gives it) while the main window's
// buttons are disabled: the download stops between two blocks, the PLC keeps whole items only,
// the user is told what it holds and Remote RUN is not offered.
TEST(MainWindow, CancelStopsTheDownloadAndSaysWhatThePlcHolds) {
    sim::FaultConfig slow;
    slow.turnaroundMs = 10; // each request takes a while
    sim::PlcConfig config;
    config.state = sim::RunState::Run;
    Window w(Language::English, config, false, slow);
    ASSERT_TRUE(w.dialog.openPackage(w.packageFile(
        "Line1.DWN", PackageBuilder()
                         .project("Line1", 26)
                         .program(0, "MAIN", 1)
                         .linkPrograms({Bytes(3000, 0x44)}))));
    w.dialog.useConnection(described(simulatorAt(10523)));
    w.boxes.answer(QMessageBox::Yes); // 662: to Remote STOP

    auto* progress = w.dialog.progressWindow();
    bool cancelUsable = false;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (progress->isVisible() && progress->percent() > 10) {
            watch.stop();
            auto* cancel = progress->findChild<QPushButton*>(QStringLiteral("cancel"));
            cancelUsable = cancel != nullptr && cancel->isEnabled() &&
                           !w.dialog.findChild<QPushButton*>(QStringLiteral("160"))->isEnabled();
            QTest::keyClick(progress, Qt::Key_Escape);
        }
    });
    watch.start();
    EXPECT_FALSE(w.download());
    EXPECT_TRUE(cancelUsable) << "Cancel works while the main window's buttons are disabled";
    EXPECT_FALSE(progress->isVisible());

    const auto& kept = w.plc.downloadItems();
    ASSERT_FALSE(kept.empty());
    EXPECT_TRUE(itemsHeld(w.plc, 'C').empty()) << "stopped before the program was whole";
    const auto& last = kept.back();
    char pbt[16];
    std::snprintf(pbt, sizeof pbt, "PBT %03u", unsigned{last.id});
    const std::string label = last.kind == 'B' ? pbt : "Parameter";
    const std::string holding = w.text(Msg::DownloadCancelled) + "\n" +
                                formatText(w.text(Msg::HoldsPartOfProject), label.c_str());
    EXPECT_EQ(w.boxes.shown(), (std::vector<std::string>{w.text(662), holding}));
    EXPECT_EQ(w.plc.runState(), sim::RunState::Stop);
}

// The connect phase shows itself between Help and Initialize: each protocol test with its
// attempt, then nothing once the PLC has answered.
TEST(MainWindow, TheConnectPhaseShowsItsAttempts) {
    sim::FaultConfig faults;
    faults.dropRequests.insert(1); // the first protocol test goes unanswered
    Window w(Language::English, {}, false, faults);
    ASSERT_TRUE(w.dialog.openPackage(
        w.packageFile("Line1.DWN", PackageBuilder().project("Line1", 26))));
    auto spec = described(simulatorAt(10523));
    spec.timeoutSeconds = 1;
    w.dialog.useConnection(spec);
    auto* status = w.dialog.findChild<QLabel*>(QStringLiteral("connectStatus"));
    ASSERT_NE(status, nullptr);
    std::vector<std::string> seen; // what the line showed, each time it changed
    QObject::connect(&w.worker, &gui::SessionWorker::connectStatus, status,
                     [&] { seen.push_back(status->text().toStdString()); });
    w.boxes.answer(QMessageBox::No); // 663
    EXPECT_TRUE(w.download());
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].rfind("Connecting to ", 0), 0u) << seen[0];
    EXPECT_NE(seen[0].find("(attempt 1 of 4)"), std::string::npos) << seen[0];
    EXPECT_NE(seen[1].find("(attempt 2 of 4)"), std::string::npos) << seen[1];
    EXPECT_EQ(seen[2], "");
    EXPECT_TRUE(status->text().isEmpty());
}

// The progress window's figures, worked out by hand: 90,112 of 215,866 bytes in 25.6 s are
// 28,160 bit/s, and the 125,754 bytes left take 35.7 s more.
TEST(MainWindow, ProgressWindowShowsBytesRateAndTimeLeft) {
    const Messages messages(Language::English);
    gui::CProgressDlg dlg(messages);
    dlg.planned(140, 215866);
    dlg.progressed(42, QStringLiteral("Program 003"), 90112, 215866, 25.6);
    EXPECT_EQ(dlg.percent(), 42);
    EXPECT_EQ(dlg.bytesText(), QStringLiteral("90,112 / 215,866 bytes"));
    EXPECT_EQ(dlg.rateText(), QStringLiteral("28.2 kbit/s"));
    EXPECT_EQ(dlg.timeLeftText(), QStringLiteral("0:36 left"));
    dlg.reset();
    EXPECT_TRUE(dlg.bytesText().isEmpty());
    EXPECT_FALSE(dlg.cancelRequested());
}

// Without a cryptography service, 674 answered Yes shows the Encryption Error dialog itself
// (caption, its lines and OK), not a message box with its text.
TEST(MainWindow, EncryptionErrorShowsItsDialog) {
    const Messages messages(Language::English);
    gui::GuiPrompter prompter;
    prompter.setEncryptionNotice([&](QWidget* p) { gui::runEncryptionNotice(p, messages); });
    CFileEncryption encryption(prompter, messages, [] { return std::unique_ptr<Crypto>(); });
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("pkg.DWNbuff")).toStdString();
    {
        std::ofstream(path, std::ios::binary) << "not decrypted";
    }
    std::vector<std::string> boxes;
    QString dialogTitle;
    QTimer look;
    look.setInterval(15);
    QObject::connect(&look, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
            boxes.push_back(box->text().toStdString());
            box->button(QMessageBox::Yes)->click();
        } else if (auto* dlg = qobject_cast<CEncryptionMsgDlg*>(modal); dlg != nullptr) {
            dialogTitle = dlg->windowTitle();
            dlg->findChild<QPushButton*>(QStringLiteral("1"))->click();
        }
    });
    look.start();
    EXPECT_FALSE(encryption.DecryptFile(path, CFileEncryption::kCurrentSchemeWithMessages));
    EXPECT_EQ(boxes, std::vector<std::string>{std::string(messages(Msg::CryptoUnavailable))});
    EXPECT_EQ(dialogTitle, QStringLiteral("Encryption Error"));
}

// A PLC served on a thread of its own as plcsim serves it: on a free TCP port, or behind a
// Hayes modem at the far end of a pseudo-terminal.
struct ServedPlc {
    explicit ServedPlc(sim::ServerOptions options) : server(plc, std::move(options)) {
        std::ostringstream out;
        std::ostringstream err;
        if (server.open(out, err)) {
            // "plcsim: serial line on /dev/pts/N" or "plcsim: listening on 127.0.0.1:N"
            said = out.str();
            said.erase(said.find_last_not_of('\n') + 1);
            thread = std::thread([this] { server.run(stop); });
        }
    }
    ~ServedPlc() {
        stop = 1;
        if (thread.joinable()) {
            thread.join();
        }
    }
    static sim::ServerOptions modemLine(std::chrono::milliseconds answerDelay) {
        sim::HayesModem::Settings modem;
        modem.connectDelay = answerDelay;
        sim::ServerOptions options;
        options.pty = true;
        options.modem = modem;
        return options;
    }
    static sim::ServerOptions tcp() {
        sim::ServerOptions options;
        options.port = 0;
        return options;
    }
    bool ready() const { return thread.joinable(); }
    ConnectionDescription dialUp() const {
        DialUpLink link;
        link.line.device = said.substr(said.rfind(' ') + 1);
        link.exitNumber = "9";
        link.callNumber = "1234";
        return described(link);
    }
    ConnectionDescription ethernet() const {
        EthernetLink link;
        link.target = simulatorAt(static_cast<std::uint16_t>(test::listeningPort(said))).target;
        return described(link);
    }

    sim::PlcSimulator plc;
    sim::PlcServer server;
    std::string said;
    volatile std::sig_atomic_t stop = 0;
    std::thread thread;
};

// The connection chosen last is the one a download uses: after a download to one PLC, the
// user picks another in the setup dialog and the next download goes there, not to the first.
TEST(MainWindow, TheConnectionChosenLastIsUsed) {
    ServedPlc first(ServedPlc::tcp());
    ServedPlc second(ServedPlc::tcp());
    ASSERT_TRUE(first.ready() && second.ready());
    Window w(Language::English, {}, /*realChannels=*/true);
    const Bytes one(200, 0x01);
    const Bytes two(300, 0x02);
    const auto project = [](const Bytes& program) {
        return PackageBuilder().project("Line1", 26).program(0, "MAIN", 1).linkPrograms({program});
    };
    ASSERT_TRUE(w.dialog.openPackage(w.packageFile("One.DWN", project(one))));
    w.dialog.useConnection(first.ethernet());
    EXPECT_TRUE(w.download());

    ASSERT_TRUE(w.dialog.openPackage(w.packageFile("Two.DWN", project(two))));
    w.dialog.useConnection(second.ethernet());
    EXPECT_TRUE(w.download());
    EXPECT_EQ(itemsHeld(first.plc, 'C'), std::vector<Bytes>{one});
    EXPECT_EQ(itemsHeld(second.plc, 'C'), std::vector<Bytes>{two});
}

// Download over a dial-up line: the status window opens while the modem dials and shows its
// steps. A call that comes through closes it and the download goes on over the call; Cancel
// hangs up, and the download ends without a frame reaching the PLC.
TEST(MainWindow, DialUpStatusWindowFollowsTheCall) {
    using namespace std::chrono_literals;
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "connected");
        ServedPlc line(ServedPlc::modemLine(cancel ? 60s : 0ms));
        ASSERT_TRUE(line.ready());
        Window w(Language::English, {}, /*realChannels=*/true);
        const Bytes program(300, 0x33);
        ASSERT_TRUE(w.dialog.openPackage(w.packageFile(
            "Line1.DWN",
            PackageBuilder().project("Line1", 26).program(0, "MAIN", 1).linkPrograms({program}))));
        w.dialog.useConnection(line.dialUp());
        w.boxes.answer(QMessageBox::No); // 663, if asked

        std::vector<std::string> steps;
        QString phone;
        QTimer watch;
        watch.setInterval(20);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            CDialUpStatusDlg* dlg = w.dialog.dialUpWindow();
            if (dlg == nullptr || !dlg->isVisible()) {
                return;
            }
            phone = dlg->findChild<QLineEdit*>(QStringLiteral("205"))->text();
            const std::string step =
                dlg->findChild<QLineEdit*>(QStringLiteral("207"))->text().toStdString();
            if (steps.empty() || steps.back() != step) {
                steps.push_back(step);
            }
            if (cancel && dlg->findChild<QLineEdit*>(QStringLiteral("206"))->text() == "1") {
                dlg->findChild<QPushButton*>(QStringLiteral("2"))->click();
            }
        });
        watch.start();
        const auto began = std::chrono::steady_clock::now();
        const bool ok = w.download();
        watch.stop();

        EXPECT_EQ(phone, QStringLiteral("9 , 1234"));
        ASSERT_FALSE(steps.empty()) << "the status window was shown";
        EXPECT_EQ(steps.back(), "Connecting...");
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.dialog.dialUpWindow() == nullptr; }, 2000));
        const auto& shown = w.boxes.shown();
        const std::string connected = "Dial-up MODEM connected.\nMODEM CODE : CONNECT 9600";
        EXPECT_EQ(std::count(shown.begin(), shown.end(), connected), cancel ? 0 : 1);
        EXPECT_EQ(ok, !cancel);
        if (cancel) {
            EXPECT_LT(std::chrono::steady_clock::now() - began, 30s)
                << "the call was not waited out";
            EXPECT_TRUE(line.plc.downloadItems().empty());
            ASSERT_FALSE(shown.empty()) << "the failed open says why";
            EXPECT_EQ(std::count(shown.begin(), shown.end(), w.text(651)), 0);

            // The cancel was for that call only: the next download, over a line whose modem
            // answers, dials and goes through.
            ServedPlc next(ServedPlc::modemLine(0ms));
            ASSERT_TRUE(next.ready());
            w.dialog.useConnection(next.dialUp());
            w.boxes.clear();
            w.boxes.answer(QMessageBox::No); // 663, if asked
            EXPECT_TRUE(w.download());
            EXPECT_EQ(std::count(w.boxes.shown().begin(), w.boxes.shown().end(), connected), 1);
            EXPECT_EQ(itemsHeld(next.plc, 'C'), std::vector<Bytes>{program});
        } else {
            EXPECT_EQ(itemsHeld(line.plc, 'C'), std::vector<Bytes>{program});
        }
    }
}

// The four device memory buttons. Without a connection each says 402 and opens nothing. With
// one, each opens its CPU type dialog and connects with the chosen code: a code the PLC does
// not have gives the session's message and no window; the PLC's own code opens the button's
// device memory window in its direction, with the code, its file dialogs starting at the path
// text.
TEST(MainWindow, DeviceMemoryButtonsOpenTheirWindows) {
    using File = DevmemGuiEnv::FileDialog;
    struct Case {
        int button;
        const char* choice; // the simulated PLC's code, 26
        const char* wrong;  // 28 or 27, which that PLC refuses
        const char* window;
        File file;
    };
    const Case cases[] = {
        {169, "1092", "1094", "374", File::Open},
        {170, "1092", "1094", "374", File::Save},
        {172, "1085", "1086", "378", File::Open},
        {173, "1085", "1086", "378", File::Save},
    };
    Window w(Language::English);
    SystemClock clock;
    DevmemGuiEnv env = gui::deviceMemoryEnv(w.worker, w.prompter, w.messages, clock);
    std::vector<std::pair<File, QString>> asked;
    env.chooseFile = [&](QWidget*, File kind, const QString& folder, const QString&,
                         const QString&) {
        asked.emplace_back(kind, folder);
        return QString();
    };
    w.dialog.setDeviceMemoryOpener([&](int b, int direction, CpuType cpu, const QString& path) {
        gui::runDeviceMemoryWindow(&w.dialog, env, b, direction, cpu, path);
    });
    ASSERT_TRUE(
        w.dialog.openPackage(w.packageFile("Line1.DWN", PackageBuilder().project("L", 26))));

    // Picks the scripted CPU type; notes the device memory window and asks it for a file.
    QString choice;
    std::vector<std::string> windows;
    CpuType windowCpu = kNoCpuType;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* sheet = qobject_cast<CpuTypeSheet*>(modal)) {
            sheet->findChild<QPushButton*>(choice)->click();
        } else if (auto* dlg = qobject_cast<CDeviceMemorySetDlg*>(modal)) {
            windows.push_back(modal->objectName().toStdString());
            windowCpu = dlg->transfer().cpuType();
            dlg->choosePath();
            dlg->reject();
        } else if (auto* linux = qobject_cast<CLinuxDeviceMemorySetDlg*>(modal)) {
            windows.push_back(modal->objectName().toStdString());
            linux->choosePath();
            linux->reject();
        }
    });
    watch.start();
    const auto press = [&](int button, const char* pick) {
        choice = QString::fromLatin1(pick);
        windows.clear();
        asked.clear();
        w.boxes.clear();
        windowCpu = kNoCpuType;
        w.dialog.findChild<QPushButton*>(QString::number(button))->click();
    };

    for (const Case& c : cases) {
        press(c.button, c.choice);
        EXPECT_EQ(w.boxes.shown(), std::vector<std::string>{w.text(402)}) << c.button;
        EXPECT_TRUE(windows.empty()) << c.button;
    }
    w.dialog.useConnection(described(simulatorAt(10523)));
    const std::string refused(w.messages(Msg::CpuWarning));
    for (const Case& c : cases) {
        press(c.button, c.wrong);
        ASSERT_EQ(w.boxes.shown().size(), 1u) << c.button;
        EXPECT_TRUE(w.boxes.shown().front().starts_with(refused)) << c.button;
        EXPECT_TRUE(windows.empty()) << c.button;

        press(c.button, c.choice);
        EXPECT_EQ(windows, std::vector<std::string>{c.window}) << c.button;
        ASSERT_FALSE(asked.empty()) << c.button;
        EXPECT_EQ(asked.back(), std::make_pair(c.file, w.field(152))) << c.button;
        if (std::string_view(c.window) == "374") {
            EXPECT_EQ(windowCpu, 26) << c.button;
        }
    }
}

// The window's labels in both languages, and the connection line made from the description it
// was given (every type's text is checked in ConnectionDisplayTest).
TEST(MainWindow, ConnectionDisplayAndLabelsInBothLanguages) {
    EthernetLink ethernet;
    ethernet.target.address = 0xC0A8000AU;
    for (const Language language : {Language::English, Language::Korean}) {
        Window w(language);
        const bool ko = language == Language::Korean;
        EXPECT_EQ(w.dialog.windowTitle(), QStringLiteral("TORVA Downloader [V7.00]"));
        EXPECT_EQ(w.dialog.findChild<QPushButton*>(QStringLiteral("160"))->text(),
                  ko ? QStringLiteral("다운로드(&D)") : QStringLiteral("&Download..."));
        EXPECT_EQ(w.dialog.programList().headerData(2, Qt::Horizontal).toString(),
                  ko ? QStringLiteral("프로그램 이름") : QStringLiteral("Program Name"));
        w.dialog.useConnection(described(ethernet));
        EXPECT_EQ(w.field(153).toStdString(),
                  ko ? "접속 방식 :  [ Ethernet ]  / IP 주소 : [ 192.168.  0. 10 ]"
                     : "Connection :  [ Ethernet ]  / IP Address : [ 192.168.  0. 10 ]");
    }
}

// In Korean, the standard buttons of the program's questions come from Qt's Korean texts.
TEST(MainWindow, KoreanQuestionsHaveKoreanStandardButtons) {
    const QString file = gui::QtTranslations::folder() + QStringLiteral("/qtbase_ko.qm");
    if (!QFileInfo::exists(file)) {
        GTEST_SKIP() << "Qt's Korean translations are not installed (" << file.toStdString()
                     << "; Debian package qt6-translations-l10n)";
    }
    for (const Language language : {Language::English, Language::Korean}) {
        const bool ko = language == Language::Korean;
        // As the program starts: Qt's texts, then the window's own prompter.
        const gui::QtTranslations qtTexts(language);
        EXPECT_EQ(qtTexts.installed(), ko);
        const Messages messages(language);
        gui::GuiPrompter prompter;
        QStringList captions;
        QTimer look;
        look.setInterval(1);
        QObject::connect(&look, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) {
                return;
            }
            look.stop();
            for (const auto b : {QMessageBox::Yes, QMessageBox::No}) {
                captions << (box->button(b) != nullptr ? box->button(b)->text() : QString());
            }
            box->button(QMessageBox::No)->click();
        });
        look.start();
        EXPECT_EQ(prompter.message(messages(Msg::AskStopRestore), PromptButtons::YesNo,
                                   PromptIcon::Question),
                  PromptAnswer::No);
        ASSERT_EQ(captions.size(), 2);
        for (const QString& caption : captions) {
            const bool hangul = std::any_of(caption.begin(), caption.end(), [](QChar c) {
                return c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3;
            });
            EXPECT_EQ(hangul, ko) << caption.toStdString();
        }
        if (!ko) {
            EXPECT_EQ(captions, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No")}));
        }
    }
}

// A package that cannot be read leaves the previous project shown. Names from a package reach
// the fields and the program list with their control characters as visible escapes: a crafted
// name cannot hide or fake what the window shows. Thirteen rows narrow the last column.
TEST(MainWindow, UnreadablePackageClearsTheProject) {
    Window w(Language::English);
    auto* table = w.dialog.findChild<QTableView*>(QStringLiteral("303"));
    for (const int rows : {12, 13}) {
        PackageBuilder builder;
        builder.project("Rows", 26);
        for (int i = 0; i < rows; ++i) {
            builder.program(static_cast<std::uint16_t>(i), "P" + std::to_string(i), 1);
        }
        ASSERT_TRUE(w.dialog.openPackage(w.packageFile("Rows.DWN", builder)));
        EXPECT_EQ(w.dialog.programList().rowCount(), rows);
        EXPECT_EQ(table->columnWidth(3), rows >= 13 ? 142 : 160) << rows << " rows";
        EXPECT_EQ(table->columnWidth(2), 220);
        EXPECT_EQ(table->rowHeight(0), 18);
    }
    ASSERT_TRUE(w.dialog.openPackage(w.packageFile(
        "Good.DWN", PackageBuilder().project("Line\x1B[2J1", 26).program(7, "MA\rIN", 1))));
    const QString bad =
        w.packageFile("Bad.DWN", PackageBuilder().project("Bad", 26).without("INI"));
    EXPECT_FALSE(w.dialog.openPackage(bad));
    EXPECT_EQ(w.boxes.shown(), std::vector<std::string>{w.text(400)});
    EXPECT_EQ(w.boxes.causes(),
              std::vector<std::string>{"missing project information (.INI file)"});
    // Neither the old project under the new path nor the old path: the window is cleared.
    for (const int id : {152, 301, 302, 310}) {
        EXPECT_EQ(w.field(id), QString()) << id;
    }
    EXPECT_EQ(w.dialog.programList().rowCount(), 0);
    EXPECT_FALSE(w.dialog.packageLoaded());
}

// Enter (either key) in the program list does nothing: the window stays, asks nothing and
// keeps its project.
TEST(MainWindow, EnterInTheProgramListDoesNothing) {
    Window w(Language::English);
    ASSERT_TRUE(w.dialog.openPackage(
        w.packageFile("Line1.DWN", PackageBuilder().project("Line1", 26).program(0, "MAIN", 1))));
    auto* table = w.dialog.findChild<QTableView*>(QStringLiteral("303"));
    w.dialog.activateWindow();
    table->setFocus();
    table->selectRow(0);
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(table, key);
        QCoreApplication::processEvents();
        EXPECT_TRUE(w.dialog.isVisible()) << key;
        EXPECT_EQ(w.dialog.result(), 0) << key;
    }
    EXPECT_TRUE(w.boxes.shown().empty());
    EXPECT_TRUE(w.dialog.packageLoaded());
    EXPECT_EQ(w.dialog.programList().rowCount(), 1);
}

TEST(MainWindow, InitializeClearsAndAsksForTheConnectionAgain) {
    Window w(Language::English);
    const QString path =
        w.packageFile("Line1.DWN", PackageBuilder().project("Line1", 26).program(0, "MAIN", 1));
    ASSERT_TRUE(w.dialog.openPackage(path));
    w.dialog.useConnection(described(simulatorAt(10523)));
    // The button's mnemonic, as a keyboard user presses it.
    w.dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.dialog));
    QTest::keyClick(w.dialog.windowHandle(), Qt::Key_I, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.dialog.packageLoaded(); }, 2000));
    for (const int id : {152, 153, 300, 301, 302, 310}) {
        EXPECT_TRUE(w.field(id).isEmpty()) << id;
    }
    EXPECT_EQ(w.dialog.programList().rowCount(), 0);
    EXPECT_FALSE(w.download());
    EXPECT_EQ(w.boxes.shown(), std::vector<std::string>{w.text(401)});
    EXPECT_EQ(w.dialog.lastOutcome(), DownloadFlow::Outcome::NoPackage);

    w.boxes.clear();
    ASSERT_TRUE(w.dialog.openPackage(path));
    EXPECT_FALSE(w.download());
    EXPECT_EQ(w.boxes.shown(), std::vector<std::string>{w.text(402)});
    EXPECT_TRUE(w.plc.downloadItems().empty());
}

} // namespace
} // namespace dlu

int main(int argc, char** argv) {
    // Test discovery runs the program at build time, where no display may exist.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Downloads from the window write no operation record into the user's home; the test of
    // the record points it at a folder of its own.
    qputenv("DLUTIL_NO_HISTORY", "1");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
