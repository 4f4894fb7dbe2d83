#pragma once

#include "plc/CpuTypeTable.h"

#include <QDialog>

#include <span>

namespace dlu {

class Messages;
class Prompter;

// A sheet of push buttons, one per CPU model, in titled groups. A button press closes the
// dialog with its code at once; OK (the Enter key) without a choice keeps the dialog open
// and says so; Cancel, Esc and the close box close without a code.
class CpuTypeSheet : public QDialog {
    Q_OBJECT
public:
    // The chosen code; kNoCpuType until a model button is pressed.
    CpuType cpuType() const { return cpuType_; }

    void accept() override;

protected:
    CpuTypeSheet(const char* id, const QString& caption, std::span<const CpuTypeButton> buttons,
                 const Messages& messages, Prompter& prompter, QWidget* parent);

    void keyPressEvent(QKeyEvent* event) override;

private:
    const Messages& messages_;
    Prompter& prompter_;
    CpuType cpuType_ = kNoCpuType;
};

} // namespace dlu
