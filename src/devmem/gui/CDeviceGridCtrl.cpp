#include "devmem/gui/CDeviceGridCtrl.h"

#include "common/MessageIds.h"
#include "common/StringTable.h"
#include "devmem/gui/DevmemGuiEnv.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPalette>

namespace dlu {

namespace {
constexpr int kColumnWidths[] = {45, 75, 105, 75, 75};
constexpr int kRowHeight = 18;
} // namespace

const QColor& CDeviceGridModel::bandColour() {
    static const QColor c(0xD5, 0xFF, 0xEA);
    return c;
}

const QColor& CDeviceGridModel::highlightColour() {
    static const QColor c(0xFF, 0xC8, 0x64);
    return c;
}

CDeviceGridModel::CDeviceGridModel(DeviceViewerModel& viewer, const Messages& messages,
                                   QObject* parent)
    : QAbstractTableModel(parent), viewer_(viewer), messages_(messages) {}

int CDeviceGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(viewer_.rowCount());
}

int CDeviceGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : DeviceViewerModel::kColumnCount;
}

bool CDeviceGridModel::differs(int row) const {
    return comparison_ && row >= 0 &&
           comparison_->word(viewer_.area(), static_cast<std::uint32_t>(row)) !=
               viewer_.working().word(viewer_.area(), static_cast<std::uint32_t>(row));
}

QVariant CDeviceGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return QString::fromStdString(viewer_.cellText(static_cast<std::uint32_t>(row), column));
    case Qt::BackgroundRole:
        if (column == DeviceViewerModel::ColNo) {
            return QApplication::palette().color(QPalette::Button); // the fixed column
        }
        if (differs(row) && DeviceViewerModel::editable(column)) {
            return highlightColour();
        }
        // Bands of eight rows: white, light green, white, ...
        return (row / 8) % 2 == 0 ? QColor(Qt::white) : bandColour();
    case Qt::ForegroundRole:
        return QColor(Qt::black);
    case Qt::TextAlignmentRole:
        return column >= DeviceViewerModel::ColDec ? int(Qt::AlignRight | Qt::AlignVCenter)
                                                   : int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant CDeviceGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < DeviceViewerModel::kColumnCount) {
        return qtext(messages_, Msg::ViewerHeaders + section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags CDeviceGridModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (DeviceViewerModel::editable(index.column())) {
        f |= Qt::ItemIsEditable;
    }
    return f;
}

CellEdit CDeviceGridModel::editCell(int row, int column, const QString& text) {
    if (row < 0) {
        return {};
    }
    const CellEdit result =
        viewer_.edit(static_cast<std::uint32_t>(row), column, text.toStdString());
    showEdit(row, result);
    return result;
}

void CDeviceGridModel::showEdit(int row, const CellEdit& result) {
    if (result.outcome == CellEdit::Outcome::OutOfRange && outOfRange) {
        outOfRange();
    } else if (result.outcome == CellEdit::Outcome::Stored) {
        emit dataChanged(index(row, DeviceViewerModel::ColDec),
                         index(row, DeviceViewerModel::ColHex));
    }
}

bool CDeviceGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) {
        return false;
    }
    return editCell(index.row(), index.column(), value.toString()).outcome ==
           CellEdit::Outcome::Stored;
}

void CDeviceGridModel::paste(int row, int column, const QString& text) {
    if (row < 0) {
        return;
    }
    // The viewer model splits and stores the pieces, from the focused row down; each result
    // is shown as a typed entry's would be.
    const auto results = viewer_.paste(static_cast<std::uint32_t>(row), column, text.toStdString());
    for (std::size_t i = 0; i < results.size(); ++i) {
        showEdit(row + static_cast<int>(i), results[i]);
    }
}

void CDeviceGridModel::refill() {
    beginResetModel();
    endResetModel();
}

void CDeviceGridModel::setComparison(std::optional<PdmImage> other) {
    comparison_ = std::move(other);
    if (rowCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                         {Qt::BackgroundRole});
    }
}

CDeviceGridCtrl::CDeviceGridCtrl(QWidget* parent) : QTableView(parent) {
    setObjectName(QStringLiteral("1202"));
    // A double click starts no edit; typing or F2 in the focused cell does.
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    verticalHeader()->hide();
    // Fixed row heights: the view never measures 32,000 rows.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
}

void CDeviceGridCtrl::setGridModel(CDeviceGridModel* model) {
    grid_ = model;
    setModel(model);
    for (int c = 0; c < DeviceViewerModel::kColumnCount; ++c) {
        setColumnWidth(c, kColumnWidths[c]);
    }
}

void CDeviceGridCtrl::keyPressEvent(QKeyEvent* event) {
    const bool paste = event->key() == Qt::Key_V && (event->modifiers() & Qt::ControlModifier);
    if (paste && grid_ != nullptr) {
        const QModelIndex at = currentIndex();
        const QString text = QApplication::clipboard()->text();
        if (at.isValid() && !text.isEmpty()) {
            grid_->paste(at.row(), at.column(), text);
        }
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CDeviceGridCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    // Selects like a click, opens no editor.
    event->accept();
}

} // namespace dlu
