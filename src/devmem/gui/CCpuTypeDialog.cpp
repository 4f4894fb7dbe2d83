#include "devmem/gui/CCpuTypeDialog.h"

#include "common/gui/DialogText.h"

namespace dlu {

CCpuTypeDialog::CCpuTypeDialog(const Messages& m, Prompter& prompter, QWidget* parent)
    : CpuTypeSheet("129", gui::layoutText(m, "PLC CPU 타입", "PLC CPU Type"),
                   CpuTypeTable::normalDialogButtons(), m, prompter, parent) {}

} // namespace dlu
