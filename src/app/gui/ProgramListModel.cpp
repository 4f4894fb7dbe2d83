#include "app/gui/ProgramListModel.h"

#include "common/MessageIds.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "download/gui/DialogUnits.h"

#include <QBrush>
#include <QColor>

namespace dlu::gui {

namespace {
constexpr int kMsgFirstColumnTitle = Msg::ProgramColumns;
constexpr Qt::Alignment kAlignment = Qt::AlignHCenter | Qt::AlignBottom;
} // namespace

ProgramListModel::ProgramListModel(const Messages& messages, QObject* parent)
    : QAbstractTableModel(parent), messages_(messages) {}

void ProgramListModel::setRows(std::vector<ProgramListRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int ProgramListModel::lastColumnWidth() const {
    return static_cast<int>(rows_.size()) >= kRowsForScrollBar ? kNarrowLastColumn
                                                               : kColumnWidths[kColumns - 1];
}

int ProgramListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ProgramListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant ProgramListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) {
        return {};
    }
    const ProgramListRow& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case 0:
            return qtext(row.rowText());
        case 1:
            return qtext(row.pidText());
        case 2:
            // A name from the package: its control characters show as escapes.
            return qtext(displaySafe(row.name));
        case 3:
            return qtext(row.kindName);
        default:
            return {};
        }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(kAlignment);
    case Qt::BackgroundRole:
        return QBrush(QColor(0xFF, 0xFF, 0xFF));
    case Qt::ForegroundRole:
        return QBrush(QColor(0, 0, 0));
    default:
        return {};
    }
}

QVariant ProgramListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return qtext(messages_(kMsgFirstColumnTitle + section));
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(kAlignment);
    }
    return {};
}

} // namespace dlu::gui
