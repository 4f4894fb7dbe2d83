#pragma once

#include "comm/DialUpSequence.h"

#include <QDialog>
#include <QMetaType>

#include <atomic>
#include <functional>
#include <memory>

class QLineEdit;
class QPushButton;
class QTimer;

namespace dlu {

class Messages;

// Shows the dial-up sequence while the modem dials: phone number, elapsed seconds and status.
// The sequence runs on the worker thread beside the connection; its status reaches this
// dialog as queued calls of showStatus(), the fields are refreshed once a second, and the
// sequence's end closes the dialog through finish(). Cancel (or Esc, or the close box) asks
// the sequence to stop: it hangs up at its next poll. Only the sequence can report a
// connection, so OK is not offered to the user.
//
// Wiring on the window thread, with `worker` relaying the connection's dial-up sinks as
// queued signals and `cancel` the atomic flag its cancel check reads (cleared before each
// dial):
//   CDialUpStatusDlg dlg(messages, window);
//   connect(worker, &Worker::dialUpStatus, &dlg, &CDialUpStatusDlg::showStatus);
//   connect(worker, &Worker::dialUpDone, &dlg, &CDialUpStatusDlg::finish);
//   connect(&dlg, &CDialUpStatusDlg::cancelRequested, [cancel] { cancel->store(true); });
//   dlg.exec();
// A caller that makes the dialog before the dial starts may hand cancelCheck() to the
// connection instead.
class CDialUpStatusDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 1000;

    explicit CDialUpStatusDlg(const Messages& messages, QWidget* parent = nullptr);
    ~CDialUpStatusDlg() override;

    // For the sequence's cancel check: true once the user cancelled. Safe to call from any
    // thread, also after the dialog is gone.
    std::function<bool()> cancelCheck() const;
    bool cancelled() const { return cancelled_->load(); }

    // Returns at once with the sequence's result when the sequence ended before the dialog
    // was shown (its end is a queued call and may come first).
    int exec() override;

    // What the fields show now.
    DialUpStatus shownStatus() const { return shown_; }

public slots:
    // The latest status of the sequence; shown at once the first time, then on each tick.
    void showStatus(const dlu::DialUpStatus& status);
    // The sequence ended: OK when the modem reported the connection, Cancel otherwise.
    void finish(bool connected);

signals:
    // The user cancelled the call.
    void cancelRequested();

protected:
    void done(int result) override;

private:
    void refresh();

    std::shared_ptr<std::atomic<bool>> cancelled_;
    DialUpStatus latest_;
    DialUpStatus shown_;
    bool haveStatus_ = false;
    bool finished_ = false;
    QLineEdit* phone_ = nullptr;
    QLineEdit* elapsed_ = nullptr;
    QLineEdit* status_ = nullptr;
    QPushButton* ok_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace dlu

Q_DECLARE_METATYPE(dlu::DialUpStatus)
