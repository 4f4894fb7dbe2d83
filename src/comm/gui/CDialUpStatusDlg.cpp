#include "comm/gui/CDialUpStatusDlg.h"

#include "common/MessageIds.h"
#include "common/gui/DialogText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace dlu {

CDialUpStatusDlg::CDialUpStatusDlg(const Messages& m, QWidget* parent)
    : QDialog(parent), cancelled_(std::make_shared<std::atomic<bool>>(false)) {
    using gui::layoutText;
    setObjectName("127");
    setWindowTitle(layoutText(m, "DIAL-UP 모뎀 연결", "DIAL-UP Status"));

    auto* grid = new QGridLayout;
    struct Row {
        const char* labelId;
        const char* fieldId;
        const char* korean;
        const char* english;
        QLineEdit** field;
    };
    const Row rows[] = {
        {"1034", "205", "전화번호", "Phone No:", &phone_},
        {"1035", "206", "경과시간", "Elapsed:", &elapsed_},
        {"1036", "207", "연결상태", "Ststus:", &status_},
    };
    int row = 0;
    for (const Row& r : rows) {
        auto* label = new QLabel(layoutText(m, r.korean, r.english), this);
        label->setObjectName(r.labelId);
        auto* field = new QLineEdit(this);
        field->setObjectName(r.fieldId);
        field->setReadOnly(true);
        field->setFocusPolicy(Qt::NoFocus);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row++, 1);
        *r.field = field;
    }
    grid->setColumnStretch(1, 1);
    status_->setMinimumWidth(220);

    ok_ = new QPushButton(layoutText(m, "확인", "OK"), this);
    ok_->setObjectName("1");
    ok_->setEnabled(false);
    auto* cancel = new QPushButton(layoutText(m, "취소", "Cancel"), this);
    cancel->setObjectName("2");
    cancel->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    // Until the sequence reports, the dialog shows what the sequence starts with.
    latest_.status = std::string(m(Msg::InitializingModem));
    refresh();

    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &CDialUpStatusDlg::refresh);
    timer_->start();
}

CDialUpStatusDlg::~CDialUpStatusDlg() = default;

std::function<bool()> CDialUpStatusDlg::cancelCheck() const {
    return [flag = cancelled_] { return flag->load(); };
}

void CDialUpStatusDlg::showStatus(const DialUpStatus& status) {
    latest_ = status;
    if (!haveStatus_) {
        haveStatus_ = true;
        refresh();
    }
}

void CDialUpStatusDlg::refresh() {
    shown_ = latest_;
    phone_->setText(QString::fromStdString(shown_.phone));
    elapsed_->setText(QString::number(shown_.elapsed));
    status_->setText(QString::fromStdString(shown_.status));
}

void CDialUpStatusDlg::finish(bool connected) {
    finished_ = true;
    refresh();
    if (connected) {
        accept();
    } else {
        reject();
    }
}

int CDialUpStatusDlg::exec() {
    if (finished_) {
        return result();
    }
    return QDialog::exec();
}

void CDialUpStatusDlg::done(int result) {
    timer_->stop();
    if (!finished_ && !cancelled_->exchange(true)) {
        emit cancelRequested();
    }
    QDialog::done(result);
}

} // namespace dlu
