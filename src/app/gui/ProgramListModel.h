#pragma once

#include "package/ProjectListing.h"

#include <QAbstractTableModel>

#include <array>
#include <vector>

namespace dlu {
class Messages;
}

namespace dlu::gui {

// The program list of the main window: "No.", "PID", program name, program type; one row per
// program of the project, then the ST programs of a Linux-family project.
class ProgramListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 4;
    static constexpr int kRowHeight = 18;
    static constexpr std::array<int, kColumns> kColumnWidths = {55, 75, 220, 160};
    // From this many rows on the last column leaves room for the vertical scroll bar.
    static constexpr int kRowsForScrollBar = 13;
    static constexpr int kNarrowLastColumn = 142;

    explicit ProgramListModel(const Messages& messages, QObject* parent = nullptr);

    void setRows(std::vector<ProgramListRow> rows);
    void clear() { setRows({}); }
    int lastColumnWidth() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const Messages& messages_;
    std::vector<ProgramListRow> rows_;
};

} // namespace dlu::gui
