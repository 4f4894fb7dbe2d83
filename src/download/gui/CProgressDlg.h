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
// the item being sent, the bytes sent of the total with the rate and the time left, and
// Cancel. The download itself runs on the session's worker thread and
// reaches this window through the slots below (queued); the worker asks cancelRequested()
// before every request, so Cancel (or Esc, or the close box) stops the download between two
// blocks and the window closes when the download has ended.
class CProgressDlg : public QDialog {
    Q_OBJECT
public:
    CProgressDlg(const Messages& messages, QWidget* parent = nullptr);

    int percent() const;
    QString currentItem() const;
    // "90,112 / 215,866 bytes", "28.2 kbit/s" and "0:44 left", as dlutil's progress line.
    QString bytesText() const;
    QString rateText() const;
    QString timeLeftText() const;
    // Any thread. Cleared by reset(), which the window thread calls before each download.
    bool cancelRequested() const { return cancelled_.load(); }
    void reset();

public slots:
    void planned(int itemCount, qulonglong totalBytes);
    // `sent` of `total` bytes have gone in `elapsedSeconds` since the first request.
    void progressed(int percent, const QString& item, qulonglong sent, qulonglong total,
                    double elapsedSeconds);
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
    QLabel* bytes_;
    QLabel* rate_;
    QLabel* left_;
    QPushButton* cancel_;
    std::atomic<bool> cancelled_{false};
};

} // namespace dlu::gui
