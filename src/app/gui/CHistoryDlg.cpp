#include "app/gui/CHistoryDlg.h"

#include "app/gui/DesktopJournal.h"
#include "common/MessageIds.h"
#include "common/OperationRecord.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/gui/DialogText.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace dlu::gui {

namespace {

QString utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CHistoryDlg::CHistoryDlg(const Messages& messages, std::optional<std::filesystem::path> folder,
                         DesktopJournal* journal, QWidget* parent)
    : QDialog(parent), messages_(messages) {
    setObjectName(QStringLiteral("CHistoryDlg"));
    setWindowTitle(layoutText(messages_, "작업 이력", "Operation History"));
    resize(760, 380);

    model_ = new QStandardItemModel(0, 5, this);
    model_->setHorizontalHeaderLabels({
        layoutText(messages_, "시각", "Time"),
        layoutText(messages_, "작업", "Operation"),
        layoutText(messages_, "PLC", "PLC"),
        layoutText(messages_, "프로젝트 또는 파일", "Project or file"),
        layoutText(messages_, "결과", "Result"),
    });

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setModel(model_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setHighlightSections(false);

    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("historyNote"));
    note_->setTextFormat(Qt::PlainText);
    note_->setWordWrap(true);

    auto* copy = new QPushButton(layoutText(messages_, "복사(&C)", "&Copy"), this);
    copy->setObjectName(QStringLiteral("copy"));
    auto* close = new QPushButton(messageText(messages_, Msg::CloseButton), this);
    close->setObjectName(QStringLiteral("close"));
    close->setDefault(true);
    connect(copy, &QPushButton::clicked, this, &CHistoryDlg::copySelection);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    if (journal != nullptr) {
        keep_ = new QCheckBox(layoutText(messages_, "다운로드, 백업, 복원을 기록(&K)",
                                         "&Keep a record of downloads, backups and restores"),
                              this);
        keep_->setObjectName(QStringLiteral("keepRecord"));
        keep_->setChecked(journal->enabled());
        connect(keep_, &QCheckBox::toggled, this, [journal](bool on) { journal->setEnabled(on); });
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(note_, 1);
    buttons->addWidget(copy);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    if (keep_ != nullptr) {
        layout->addWidget(keep_);
    }
    layout->addLayout(buttons);

    load(folder);
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
}

void CHistoryDlg::load(const std::optional<std::filesystem::path>& folder) {
    std::string reason;
    std::optional<std::filesystem::path> where = folder ? folder : OperationLog::defaultFolder(reason);
    if (!where) {
        note_->setText(utf8(displaySafe(reason)));
        return;
    }
    const auto reading = OperationLog(*where).readLast(kMaxRecords);
    // The file keeps the oldest first; the window shows the newest first.
    for (auto r = reading.records.rbegin(); r != reading.records.rend(); ++r) {
        QList<QStandardItem*> items;
        for (const auto& text : historyRow(*r)) {
            auto* item = new QStandardItem(utf8(text));
            item->setEditable(false);
            items.append(item);
        }
        model_->appendRow(items);
    }
    QStringList notes;
    if (!reading.error.empty()) {
        notes.append(utf8(displaySafe(reading.error)));
    }
    if (reading.damaged > 0) {
        notes.append(layoutText(messages_, "읽을 수 없는 줄: %1", "Lines that could not be read: %1")
                         .arg(reading.damaged));
    }
    note_->setText(notes.join(QLatin1Char('\n')));
}

QString CHistoryDlg::selectedText() const {
    QList<int> rows;
    for (const auto& index : table_->selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    QString text;
    for (const int row : rows) {
        QStringList cells;
        for (int column = 0; column < model_->columnCount(); ++column) {
            cells.append(model_->item(row, column)->text());
        }
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

void CHistoryDlg::copySelection() const {
    const QString text = selectedText();
    if (!text.isEmpty()) {
        QGuiApplication::clipboard()->setText(text);
    }
}

} // namespace dlu::gui
