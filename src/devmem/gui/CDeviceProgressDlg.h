#pragma once

#include "devmem/TransferProgress.h"

#include <QDialog>

#include <atomic>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace dlu {

class Messages;
class Prompter;

// The progress window of a device memory transfer: modeless, centred on the window that runs
// the transfer, two text lines, a bar from 0 to 99 and "Total : %d %%". It is the transfer's
// observer: calls from the transfer's thread reach the widgets queued; calls on the window's
// own thread are shown at once and let the window repaint.
//
// Cancel stops a backup before its next chunk (nothing is saved, the file stays as it was).
// A restore has already written words into the PLC, so stopping it half-way is asked first.
class CDeviceProgressDlg : public QDialog, public TransferObserver {
    Q_OBJECT
public:
    enum class Kind { Backup, Restore };

    CDeviceProgressDlg(QWidget* owner, Kind kind, Prompter& prompter, const Messages& messages);

    // TransferObserver
    void opened() override;
    void update(const TransferProgress& progress) override;
    void closed() override;
    bool cancelled() override { return cancelled_.load(); }

    // Without the Cancel button (a transfer that cannot stop between its steps).
    void setCancellable(bool on);

    // What the window shows now.
    QString line1() const;
    QString line2() const;
    int bar() const;
    QString total() const;

protected:
    // Esc and the close box mean Cancel; the window closes when the transfer ends.
    void reject() override { onCancel(); }

signals:
    // After the widgets took a new state (for tests and the screenshot tool).
    void shown(int bar);

private:
    void post(std::function<void()> work);
    void display(const TransferProgress& progress);
    void onCancel();

    Kind kind_;
    Prompter& prompter_;
    const Messages& messages_;
    QLabel* line1_;
    QLabel* line2_;
    QProgressBar* bar_;
    QLabel* total_;
    QPushButton* cancel_;
    bool cancellable_ = true;
    std::atomic<bool> cancelled_{false};
};

} // namespace dlu
