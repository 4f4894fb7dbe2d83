#include "devmem/gui/CpuTypeSheet.h"

#include "common/MessageIds.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "common/gui/DialogText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <map>

namespace dlu {

namespace {

constexpr int kButtonsPerRow = 3;

} // namespace

CpuTypeSheet::CpuTypeSheet(const char* id, const QString& caption,
                           std::span<const CpuTypeButton> buttons, const Messages& m,
                           Prompter& prompter, QWidget* parent)
    : QDialog(parent), messages_(m), prompter_(prompter) {
    setObjectName(id);
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);

    // Groups in the order their first button comes; columns within a row in table order.
    std::map<std::string_view, QGridLayout*> groups;
    std::map<std::pair<std::string_view, int>, int> columns;
    for (const CpuTypeButton& b : buttons) {
        QGridLayout*& grid = groups[b.group];
        if (grid == nullptr) {
            auto* box = new QGroupBox(
                QString::fromUtf8(b.group.data(), static_cast<qsizetype>(b.group.size())), this);
            grid = new QGridLayout(box);
            for (int c = 0; c < kButtonsPerRow; ++c) {
                grid->setColumnStretch(c, 1);
            }
            layout->addWidget(box);
        }
        const std::string_view name = CpuTypeTable::displayName(b.code);
        auto* button = new QPushButton(
            QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())), this);
        button->setObjectName(QString::number(b.buttonId));
        // Enter must reach the dialog's OK check, not press the focused model.
        button->setAutoDefault(false);
        button->setMinimumHeight(32);
        grid->addWidget(button, b.row, columns[{b.group, b.row}]++);
        const CpuType code = b.code;
        connect(button, &QPushButton::clicked, this, [this, code] {
            cpuType_ = code;
            QDialog::accept();
        });
    }

    auto* cancel = new QPushButton(gui::layoutText(m, "취소", "Cancel"), this);
    cancel->setObjectName("2");
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(cancel);
    layout->addLayout(row);
}

void CpuTypeSheet::accept() {
    if (cpuType_ == kNoCpuType) {
        prompter_.message(messages_(Msg::CpuTypeNotSelected), PromptButtons::Ok,
                          PromptIcon::Warning);
        return;
    }
    QDialog::accept();
}

void CpuTypeSheet::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace dlu
