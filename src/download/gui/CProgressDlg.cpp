#include "download/gui/CProgressDlg.h"

#include "common/MessageIds.h"
#include "common/ProgressText.h"
#include "common/StringTable.h"
#include "download/gui/DialogUnits.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace dlu::gui {

CProgressDlg::CProgressDlg(const Messages& messages, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("126"));
    setModal(true);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    text_ = new QLabel(qtext(messages(Msg::Downloading)), frame);
    text_->setObjectName(QStringLiteral("1070"));
    bar_ = new QProgressBar(frame);
    bar_->setObjectName(QStringLiteral("progress"));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    item_ = new QLabel(frame);
    item_->setObjectName(QStringLiteral("currentItem"));
    bytes_ = new QLabel(frame);
    bytes_->setObjectName(QStringLiteral("bytes"));
    rate_ = new QLabel(frame);
    rate_->setObjectName(QStringLiteral("rate"));
    rate_->setAlignment(Qt::AlignCenter);
    left_ = new QLabel(frame);
    left_->setObjectName(QStringLiteral("timeLeft"));
    left_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cancel_ = new QPushButton(qtext(messages(Msg::Cancel)), frame);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &CProgressDlg::cancel);

    const DialogUnits du(*this);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(du.x(7), du.y(6), du.x(7), du.y(6));
    layout->addWidget(text_);
    layout->addWidget(bar_);
    layout->addWidget(item_);
    auto* figures = new QHBoxLayout;
    figures->addWidget(bytes_, 2);
    figures->addWidget(rate_, 1);
    figures->addWidget(left_, 1);
    layout->addLayout(figures);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    // 233 dialog units wide, as the window of the text alone; the bar and the item below it
    // make it taller.
    setFixedWidth(du.x(233));
}

int CProgressDlg::percent() const { return bar_->value(); }

void CProgressDlg::reset() {
    cancelled_.store(false);
    cancel_->setEnabled(true);
    bar_->setValue(0);
    item_->clear();
    bytes_->clear();
    rate_->clear();
    left_->clear();
}

void CProgressDlg::cancel() {
    // The block on its way is answered first; the worker stops before the next one.
    cancelled_.store(true);
    cancel_->setEnabled(false);
}

QString CProgressDlg::currentItem() const { return item_->text(); }

QString CProgressDlg::bytesText() const { return bytes_->text(); }

QString CProgressDlg::rateText() const { return rate_->text(); }

QString CProgressDlg::timeLeftText() const { return left_->text(); }

void CProgressDlg::planned(int itemCount, qulonglong totalBytes) {
    Q_UNUSED(itemCount);
    Q_UNUSED(totalBytes);
    bar_->setValue(0);
}

void CProgressDlg::progressed(int percent, const QString& item, qulonglong sent, qulonglong total,
                              double elapsedSeconds) {
    bar_->setValue(percent);
    item_->setText(item);
    const ProgressTexts texts =
        ProgressText::texts(sent, total, ProgressText::Seconds(elapsedSeconds));
    bytes_->setText(QString::fromStdString(texts.bytes));
    rate_->setText(QString::fromStdString(texts.rate));
    left_->setText(QString::fromStdString(texts.timeLeft));
}

void CProgressDlg::finished(bool succeeded) {
    Q_UNUSED(succeeded);
    bar_->setValue(100);
    done(QDialog::Accepted);
}

} // namespace dlu::gui
