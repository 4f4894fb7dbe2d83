#pragma once

#include "devmem/DeviceMemorySelection.h"
#include "devmem/LinuxDeviceMemoryTransfer.h"
#include "devmem/gui/DevmemGuiEnv.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace dlu {

// The Linux device memory window (dialog 378): the PLC's whole device image to a ".BIN" file
// and back, in blocks. The image is opaque here.
class CLinuxDeviceMemorySetDlg : public QDialog {
    Q_OBJECT
public:
    CLinuxDeviceMemorySetDlg(const DevmemGuiEnv& env, DeviceMemoryMode mode, CpuType cpuType,
                             const QString& folder, const QString& initialFolder,
                             QWidget* parent = nullptr);

    // What the opener does before showing it: a backup asks for its file at once.
    void start();

    QString fileText() const;
    void choosePath();
    // The transfer button; the core's report, or nothing when it did not run.
    std::optional<LinuxDeviceMemoryTransfer::Report> runTransfer();

    // Esc and the close box: while a transfer runs, asks, and closes once it has ended.
    void reject() override;

private:
    void setFile(const QString& path);
    bool readable(const QString& path) const;

    const DevmemGuiEnv& env_;
    DeviceMemoryMode mode_;
    CpuType cpuType_;
    QString initialFolder_;
    QString file_;
    bool transferring_ = false;
    bool closeRequested_ = false; // close once the running transfer has ended
    QLineEdit* edit_;
    QPushButton* transferButton_;
    QCheckBox* verify_; // restore only: read the image back and compare it with the file
};

} // namespace dlu
