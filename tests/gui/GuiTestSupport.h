#pragma once

// Support of the desktop program's tests: answers the message boxes the program shows, as a
// user would, from a script.
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <string>
#include <vector>

namespace dlu::test {

// Watches for modal message boxes and clicks their buttons: an OK-only box is acknowledged,
// a question takes the next scripted answer (Cancel or No when the script is empty, so that a
// missing line shows as a refused question rather than a hang). Records every text shown.
class BoxAnswerer final : public QObject {
public:
    BoxAnswerer() {
        timer_.setInterval(15);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { look(); });
        timer_.start();
    }

    void answer(QMessageBox::StandardButton b) { script_.push_back(b); }
    const std::vector<std::string>& shown() const { return shown_; }
    // The informative text of each box shown (the cause line of a failure), "" for none.
    const std::vector<std::string>& causes() const { return causes_; }
    std::size_t unusedAnswers() const { return script_.size(); }
    void clear() {
        shown_.clear();
        causes_.clear();
    }

private:
    void look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        shown_.push_back(box->text().toStdString());
        causes_.push_back(box->informativeText().toStdString());
        const auto buttons = box->standardButtons();
        QMessageBox::StandardButton pick = QMessageBox::Ok;
        if (buttons != QMessageBox::Ok) {
            if (!script_.empty()) {
                pick = script_.front();
                script_.pop_front();
            } else {
                pick = (buttons & QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::No;
            }
        }
        if (QAbstractButton* b = box->button(pick)) {
            b->click();
        } else {
            box->reject();
        }
    }

    QTimer timer_;
    std::deque<QMessageBox::StandardButton> script_;
    std::vector<std::string> shown_;
    std::vector<std::string> causes_;
};

} // namespace dlu::test
