#include "download/gui/CProgressDlg.h"

#include "common/MessageIds.h"
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
}

void CProgressDlg::cancel() {
    // The block on its way is answered first; the worker stops before the next one.
    cancelled_.store(true);
    cancel_->setEnabled(false);
}

QString CProgressDlg::currentItem() const { return item_->text(); }

void CProgressDlg::planned(int itemCount, qulonglong totalBytes) {
    Q_UNUSED(itemCount);
    Q_UNUSED(totalBytes);
    bar_->setValue(0);
}

void CProgressDlg::progressed(int percent, const QString& item) {
    bar_->setValue(percent);
    item_->setText(item);
}

void CProgressDlg::finished(bool succeeded) {
    Q_UNUSED(succeeded);
    bar_->setValue(100);
    done(QDialog::Accepted);
}

} // namespace dlu::gui
