#pragma once

#include "devmem/DeviceViewerModel.h"

#include <QAbstractTableModel>
#include <QTableView>

#include <functional>
#include <optional>

namespace dlu {

class Messages;

// The viewer's grid as a table model: every cell is computed when it is painted from the core
// viewer model, so an area of 32,000 words costs no more than one of 8. Edits of the DEC and
// HEX cells go through the core's entry rules; an entry above a word is reported through
// `outOfRange` (message 562 with 65535) and changes nothing.
class CDeviceGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    CDeviceGridModel(DeviceViewerModel& viewer, const Messages& messages, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The cell edit hook for one cell.
    CellEdit editCell(int row, int column, const QString& text);
    // Pieces of `text`, one per line, down the column from `row`, by the viewer model's paste;
    // each piece's result is shown as a typed entry's.
    void paste(int row, int column, const QString& text);

    // The selected area changed, or the working copy was replaced: every cell again.
    void refill();

    // Words that differ from `other` are painted in the highlight colour; nothing: none.
    void setComparison(std::optional<PdmImage> other);
    bool differs(int row) const;

    std::function<void()> outOfRange;

    static const QColor& bandColour();      // rows 9 to 16, 25 to 32, ...
    static const QColor& highlightColour(); // a word that differs from the compared file

private:
    // The out-of-range hook, or the repaint of a stored word.
    void showEdit(int row, const CellEdit& result);

    DeviceViewerModel& viewer_;
    const Messages& messages_;
    std::optional<PdmImage> comparison_;
};

// The grid control: a table view with the fixed widths and row height of the viewer, no edit
// on a double click, editing started from the keyboard, and Ctrl+V pasting down the focused
// column.
class CDeviceGridCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CDeviceGridCtrl(QWidget* parent = nullptr);
    void setGridModel(CDeviceGridModel* model);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    CDeviceGridModel* grid_ = nullptr;
};

} // namespace dlu
