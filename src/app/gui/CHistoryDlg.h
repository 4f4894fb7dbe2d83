#pragma once

#include <QDialog>

#include <filesystem>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace dlu {
class Messages;
} // namespace dlu

namespace dlu::gui {

class DesktopJournal;

// The operation record, newest first: time, operation, PLC, project or file and result of
// each download, backup and restore, read-only. Copy puts the selected rows on the clipboard
// as tab-separated lines. The record is read and its texts made safe by the core; the
// window only lays them out.
class CHistoryDlg final : public QDialog {
    Q_OBJECT
public:
    // The most records shown.
    static constexpr std::size_t kMaxRecords = 1000;

    // Reads the record in `folder`; nothing: the default folder. With a `journal` the window
    // also shows its setting, a check box that turns the record on and off.
    explicit CHistoryDlg(const Messages& messages,
                         std::optional<std::filesystem::path> folder = std::nullopt,
                         DesktopJournal* journal = nullptr, QWidget* parent = nullptr);

    // The selected rows, tab-separated, one line each, top to bottom.
    QString selectedText() const;
    void copySelection() const;

private:
    void load(const std::optional<std::filesystem::path>& folder);

    const Messages& messages_;
    QStandardItemModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* note_ = nullptr;
    QCheckBox* keep_ = nullptr;
};

} // namespace dlu::gui
