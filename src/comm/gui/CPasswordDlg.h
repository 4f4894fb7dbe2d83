#pragma once

#include <QDialog>

#include <string>

class QLineEdit;

namespace dlu {

class Messages;

// Asks for the connection password of a locked PLC. The entry is masked and takes at most
// kMaxLength characters, the longest password a PLC keeps.
class CPasswordDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 14;

    explicit CPasswordDlg(const Messages& messages, QWidget* parent = nullptr);

    // The text entered (UTF-8).
    std::string password() const;

private:
    QLineEdit* edit_ = nullptr;
};

} // namespace dlu
