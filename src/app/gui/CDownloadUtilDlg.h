#pragma once

#include "comm/ConnectionDescription.h"
#include "download/DownloadFlow.h"
#include "package/ProjectInfo.h"
#include "package/StProgramTable.h"
#include "plc/CpuTypeTable.h"

#include <QDialog>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace dlu {
class CDialUpStatusDlg;
class Messages;
class SettingsStore;
class CFileControl;
class CFileEncryption;
} // namespace dlu

namespace dlu::gui {

class CProgressDlg;
class DesktopJournal;
class GuiPrompter;
class ProgramListModel;
class SessionWorker;

// The program's main window: choose a connection and a package, see what the package holds,
// download it, and start a device memory backup or restore. The window only shows state and
// hands the user's choices to the core: the package is read by the package reader, the
// download runs as the core's download flow on the session's worker thread.
class CDownloadUtilDlg final : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "TORVA Downloader [V7.00]";
    // Dialog size in dialog units.
    static constexpr int kWidthUnits = 332;
    static constexpr int kHeightUnits = 366;

    // Control ids, used as the widgets' object names.
    enum ControlId {
        kIdPathDisplay = 152,
        kIdConnectionDisplay = 153,
        kIdChoosePackage = 154,
        kIdConnectionSetup = 155,
        kIdDownload = 160,
        kIdHelp = 161,
        kIdInitialize = 162,
        kIdRestore = 169,
        kIdBackup = 170,
        kIdLinuxRestore = 172,
        kIdLinuxBackup = 173,
        kIdLinuxFrame = 174,
        kIdCpuTypeDisplay = 300,
        kIdProjectNameDisplay = 301,
        kIdSizeDisplay = 302,
        kIdProgramList = 303,
        kIdCpuTypeLabel = 304,
        kIdProjectNameLabel = 305,
        kIdSizeLabel = 306,
        kIdProjectFrame = 307,
        kIdProgramFrame = 308,
        kIdProgramCountLabel = 309,
        kIdProgramCountDisplay = 310,
        kIdDeviceMemoryFrame = 311,
    };

    // Opens a device memory dialog: the button pressed, the direction (1 restore, 0 backup),
    // the chosen CPU type and the path display text. The session is connected.
    using DeviceMemoryOpener =
        std::function<void(int buttonId, int direction, CpuType cpuType, const QString& path)>;
    // Shows the help: the help file when there is one, else the manual. False when neither
    // opened; `manual` then says where the manual is.
    using HelpOpener = std::function<bool(QString& manual)>;

    CDownloadUtilDlg(const Messages& messages, SettingsStore& settings, GuiPrompter& prompter,
                     SessionWorker& worker, QWidget* parent = nullptr);
    ~CDownloadUtilDlg() override;

    void setDeviceMemoryOpener(DeviceMemoryOpener opener) { deviceMemory_ = std::move(opener); }
    void setHelpOpener(HelpOpener opener) { help_ = std::move(opener); }

    // What the buttons do after their dialogs: a connection chosen with OK, a package chosen
    // in the file dialog (true when it was read).
    void useConnection(const ConnectionDescription& spec);
    bool openPackage(const QString& path);
    // Download button: runs the download flow on the worker and returns at once; the outcome
    // comes with downloadFinished().
    void startDownload();
    void initialize();

    bool packageLoaded() const { return packageLoaded_; }
    bool connectionChosen() const { return connectionChosen_; }
    bool transferRunning() const;
    std::optional<DownloadFlow::Outcome> lastOutcome() const { return lastOutcome_; }
    const ProgramListModel& programList() const { return *model_; }
    CProgressDlg* progressWindow() const { return progress_; }
    // The operation record this window and its device memory windows write to.
    DesktopJournal& journal() { return *journal_; }
    // The dial-up status window while the modem dials, else null.
    CDialUpStatusDlg* dialUpWindow() const;

signals:
    void downloadFinished(bool succeeded);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void accept() override;

private:
    void buildLayout();
    // The program list: the view over the model of the package's programs.
    void buildProgramTable(QRect geometry);
    void loadLabels();
    void showFields();
    void refillProgramList();
    void setTransferRunning(bool running);
    // True when the window may close now (asks and waits while a transfer runs).
    bool mayClose();

    void onConnectionSetup();
    void onChoosePackage();
    void onDeviceMemory(int buttonId);
    void onHelp();
    void onHistory();
    void onDialUpStatus(const QString& phone, int elapsedSeconds, const QString& status);
    void onDialUpFinished(bool connected);

    class ProgressRelay;

    const Messages& messages_;
    SettingsStore& settings_;
    GuiPrompter& prompter_;
    SessionWorker& worker_;
    std::unique_ptr<CFileControl> reader_;
    std::unique_ptr<CFileEncryption> encryption_;
    std::unique_ptr<DesktopJournal> journal_;

    // State of the window.
    QString packagePath_;
    QString packageFileName_;
    CpuType projectCpuType_ = kNoCpuType;
    unsigned programCount_ = 0;
    bool packageLoaded_ = false;
    bool connectionChosen_ = false;
    ProjectInfo projectInfo_;
    StProgramTable stTable_;
    std::uint32_t projectSize_ = 0;
    QString pathDisplay_;
    QString connectionDisplay_;
    QString projectNameDisplay_;
    QString cpuTypeDisplay_;
    QString sizeDisplay_;
    QString programCountDisplay_;
    std::optional<DownloadFlow::Outcome> lastOutcome_;
    bool closing_ = false;

    // Controls.
    QLineEdit* pathField_ = nullptr;
    QLineEdit* connectionField_ = nullptr;
    QLabel* connectStatus_ = nullptr; // the connect phase, on a line under the buttons
    QPushButton* historyButton_ = nullptr;
    QLineEdit* projectNameField_ = nullptr;
    QLineEdit* cpuTypeField_ = nullptr;
    QLineEdit* sizeField_ = nullptr;
    QLineEdit* programCountField_ = nullptr;
    QTableView* programTable_ = nullptr;
    ProgramListModel* model_ = nullptr;
    CProgressDlg* progress_ = nullptr;
    QPointer<CDialUpStatusDlg> dialUp_;

    DeviceMemoryOpener deviceMemory_;
    HelpOpener help_;
};

} // namespace dlu::gui
