#include "devmem/gui/CDeviceProgressDlg.h"

#include "common/MessageIds.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "devmem/gui/DevmemGuiEnv.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace dlu {

CDeviceProgressDlg::CDeviceProgressDlg(QWidget* owner, Kind kind, Prompter& prompter,
                                       const Messages& messages)
    : QDialog(owner), kind_(kind), prompter_(prompter), messages_(messages) {
    setObjectName(QStringLiteral("375"));
    setModal(false);
    setWindowTitle(owner != nullptr ? owner->windowTitle() : QString());
    line1_ = new QLabel(this);
    line1_->setObjectName(QStringLiteral("1190"));
    line2_ = new QLabel(this);
    line2_->setObjectName(QStringLiteral("1191"));
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("1192"));
    bar_->setRange(0, 99);
    bar_->setTextVisible(false);
    total_ = new QLabel(this);
    total_->setObjectName(QStringLiteral("1193"));
    total_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cancel_ = new QPushButton(qtext(messages, Msg::Cancel), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    connect(cancel_, &QPushButton::clicked, this, &CDeviceProgressDlg::onCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(line1_);
    layout->addWidget(line2_);
    layout->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->addWidget(total_, 1);
    row->addWidget(cancel_);
    layout->addLayout(row);
    setMinimumWidth(360);
    display(TransferProgress{});
}

QString CDeviceProgressDlg::line1() const { return line1_->text(); }
QString CDeviceProgressDlg::line2() const { return line2_->text(); }
int CDeviceProgressDlg::bar() const { return bar_->value(); }
QString CDeviceProgressDlg::total() const { return total_->text(); }

void CDeviceProgressDlg::post(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        work();
        // The transfer runs in this thread: let the window repaint and take a Cancel.
        QCoreApplication::processEvents();
    } else {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    }
}

void CDeviceProgressDlg::opened() {
    post([this] {
        adjustSize();
        if (auto* owner = parentWidget()) {
            move(owner->frameGeometry().center() - rect().center());
        }
        show();
    });
}

void CDeviceProgressDlg::display(const TransferProgress& p) {
    line1_->setText(QString::fromStdString(p.line1));
    line2_->setText(QString::fromStdString(p.line2));
    // One total over every area of the transfer, rather than one that starts again per area.
    bar_->setValue(p.wholeBar);
    total_->setText(QStringLiteral("Total : %1 %").arg(p.wholePercent));
}

void CDeviceProgressDlg::update(const TransferProgress& p) {
    post([this, p] {
        display(p);
        emit shown(p.wholeBar);
    });
}

void CDeviceProgressDlg::closed() {
    post([this] { hide(); });
}

void CDeviceProgressDlg::setCancellable(bool on) {
    cancellable_ = on;
    cancel_->setVisible(on);
}

void CDeviceProgressDlg::onCancel() {
    if (!cancellable_) {
        return;
    }
    if (cancelled_.load()) {
        return;
    }
    if (kind_ == Kind::Restore &&
        prompter_.message(messages_(Msg::AskStopRestore), PromptButtons::YesNo,
                          PromptIcon::Warning) != PromptAnswer::Yes) {
        return;
    }
    cancelled_.store(true);
    cancel_->setEnabled(false);
}

} // namespace dlu
