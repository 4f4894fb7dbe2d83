#pragma once

#include <QDialog>

namespace dlu {

class Messages;

// The "Encryption Error" notice: what to check when the cryptography service could not be
// set up. Ten lines of text and OK. Its look follows the application's theme.
class CEncryptionMsgDlg : public QDialog {
    Q_OBJECT
public:
    explicit CEncryptionMsgDlg(const Messages& messages, QWidget* parent = nullptr);
};

} // namespace dlu
