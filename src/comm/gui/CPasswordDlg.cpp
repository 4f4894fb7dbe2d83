#include "comm/gui/CPasswordDlg.h"

#include "common/gui/DialogText.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dlu {

CPasswordDlg::CPasswordDlg(const Messages& m, QWidget* parent) : QDialog(parent) {
    using gui::layoutText;
    setObjectName("120");
    setWindowTitle(layoutText(m, "접속 암호 입력", "Enter Connection Password"));

    auto* group = new QGroupBox(layoutText(m, "접속 암호 입력", "Password"), this);
    group->setObjectName("1037");
    auto* lines = new QVBoxLayout(group);
    struct Line {
        const char* id;
        const char* korean;
        const char* english;
    };
    const Line texts[] = {
        {"1040", "PLC에 암호가 설정되어 있습니다.", "This PLC is locked by Password."},
        {"1041", "PLC의 암호와 입력한 암호가 일치하지 않으면",
         "Give the password, or you shall not pass."},
        {"1042", "접속되지 않습니다.", ""},
    };
    for (const Line& line : texts) {
        auto* label = new QLabel(layoutText(m, line.korean, line.english), group);
        label->setObjectName(line.id);
        lines->addWidget(label);
    }
    edit_ = new QLineEdit(group);
    edit_->setObjectName("204");
    edit_->setMaxLength(kMaxLength);
    edit_->setEchoMode(QLineEdit::Password);
    lines->addWidget(edit_);

    auto* ok = new QPushButton(layoutText(m, "확인", "OK"), this);
    ok->setObjectName("1");
    ok->setDefault(true);
    auto* cancel = new QPushButton(layoutText(m, "취소", "Cancel"), this);
    cancel->setObjectName("2");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    edit_->setFocus();
}

std::string CPasswordDlg::password() const { return edit_->text().toStdString(); }

} // namespace dlu
