#pragma once

#include <QDialog>

#include <atomic>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace dlu {
class Messages;
}

namespace dlu::gui {

// The window shown while a download sends its items: message 404, and below it a progress bar,
// the item being sent and Cancel. The download itself runs on the session's worker thread and
// reaches this window through the slots below (queued); the worker asks cancelRequested()
// before every request, so Cancel (or Esc, or the close box) stops the download between two
// blocks and the window closes when the download has ended.
class CProgressDlg : public QDialog {
    Q_OBJECT
public:
    CProgressDlg(const Messages& messages, QWidget* parent = nullptr);

    int percent() const;
    QString currentItem() const;
    // Any thread. Cleared by reset(), which the window thread calls before each download.
    bool cancelRequested() const { return cancelled_.load(); }
    void reset();

public slots:
    void planned(int itemCount, qulonglong totalBytes);
    void progressed(int percent, const QString& item);
    // The sequence is over: the window closes.
    void finished(bool succeeded);

protected:
    // Escape and the close box mean Cancel: the window stays until the download has stopped.
    void reject() override { cancel(); }

private:
    void cancel();

    QLabel* text_;
    QProgressBar* bar_;
    QLabel* item_;
    QPushButton* cancel_;
    std::atomic<bool> cancelled_{false};
};

} // namespace dlu::gui
