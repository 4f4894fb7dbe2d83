#pragma once

#include "devmem/DeviceMemoryTransfer.h"
#include "devmem/gui/DevmemGuiEnv.h"

#include <QDialog>

#include <array>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dlu {

// The device memory window (dialog 374): chosen word ranges of the sixteen areas backed up
// from the PLC into a ".PDM" file, or restored from one. The controls are bound to the core's
// selection, so they obey the same restore restrictions as the command line.
class CDeviceMemorySetDlg : public QDialog {
    Q_OBJECT
public:
    // `folder`: where the default file name points (defaultDeviceMemoryFolder() in the
    // program); `initialFolder`: where the file dialogs start (the main window's path text).
    CDeviceMemorySetDlg(const DevmemGuiEnv& env, DeviceMemoryMode mode, CpuType cpuType,
                        const QString& folder, const QString& initialFolder,
                        QWidget* parent = nullptr);
    ~CDeviceMemorySetDlg() override;

    DeviceMemoryTransfer& transfer() { return transfer_; }
    QString fileText() const;
    QString notice() const;

    // The buttons.
    void choosePath();
    void save();
    void view();
    // Validation, then the backup or restore (and, when asked for, the read-back of what the
    // restore wrote); the result of the core transfer, or nothing when it did not run
    // (invalid ranges, no image, no session).
    std::optional<DeviceMemoryTransfer::Result> runTransfer();

    // Opens the viewer (modal); the test and the screenshot tool reach it through this hook
    // before it runs.
    std::function<void(class CDeviceViewerDlg&)> viewerOpened;

    // Esc and the close box: while a transfer runs, asks, and closes once it has ended.
    void reject() override;

private:
    void buildControls();
    // The sixteen area buttons with their range edits.
    QGroupBox* buildAreas();
    void refresh();
    void readEdits(int area);
    void areaToggled(int area, bool checked);

    const DevmemGuiEnv& env_;
    DeviceMemoryTransfer transfer_;
    QString initialFolder_;
    bool viewEnabled_ = false;
    bool transferring_ = false;
    bool closeRequested_ = false; // close once the running transfer has ended

    QLineEdit* file_ = nullptr;
    QCheckBox* all_ = nullptr;
    std::array<QPushButton*, DeviceAreas::kCount> areaButtons_{};
    std::array<QLineEdit*, DeviceAreas::kCount> startEdits_{};
    std::array<QLineEdit*, DeviceAreas::kCount> endEdits_{};
    QPushButton* view_ = nullptr;
    QPushButton* transferButton_ = nullptr;
    QCheckBox* verify_ = nullptr; // restore only: read the written words back
    QLabel* notice_ = nullptr;
};

} // namespace dlu
