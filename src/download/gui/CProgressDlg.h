#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QProgressBar;

namespace dlu {
class Messages;
}

namespace dlu::gui {

// The window shown while a download sends its items: message 404, and below it a progress bar
// and the item being sent. It has no buttons and no caption; the download itself runs on the
// session's worker thread and reaches this window through the slots below (queued).
class CProgressDlg : public QDialog {
    Q_OBJECT
public:
    CProgressDlg(const Messages& messages, QWidget* parent = nullptr);

    int percent() const;
    QString currentItem() const;

public slots:
    void planned(int itemCount, qulonglong totalBytes);
    void progressed(int percent, const QString& item);
    // The sequence is over: the window closes.
    void finished(bool succeeded);

protected:
    // Escape and the close box do nothing while a download runs: it ends at its own pace.
    void reject() override {}

private:
    QLabel* text_;
    QProgressBar* bar_;
    QLabel* item_;
};

} // namespace dlu::gui
