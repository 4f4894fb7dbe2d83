#include "package/gui/CEncryptionMsgDlg.h"

#include "common/gui/DialogText.h"
#include "package/EncryptionErrorText.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dlu {

namespace {

constexpr int kFirstLineId = 312;

} // namespace

CEncryptionMsgDlg::CEncryptionMsgDlg(const Messages& m, QWidget* parent) : QDialog(parent) {
    setObjectName("128");
    setWindowTitle(QStringLiteral("Encryption Error"));

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* lines = new QVBoxLayout(frame);
    for (std::size_t i = 0; i < kEncryptionErrorLines; ++i) {
        const std::string_view text = encryptionErrorLine(m.language(), i);
        auto* label =
            new QLabel(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), frame);
        label->setObjectName(QString::number(kFirstLineId + static_cast<int>(i)));
        label->setWordWrap(true);
        lines->addWidget(label);
    }

    auto* ok = new QPushButton(gui::layoutText(m, "확인(&O)", "OK(&O)"), this);
    ok->setObjectName("1");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(row);
    // Wide enough that the longest line of either language wraps at most once.
    setMinimumWidth(520);
}

} // namespace dlu
