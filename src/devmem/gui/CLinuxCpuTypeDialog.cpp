#include "devmem/gui/CLinuxCpuTypeDialog.h"

#include "common/gui/DialogText.h"

namespace dlu {

CLinuxCpuTypeDialog::CLinuxCpuTypeDialog(const Messages& m, Prompter& prompter, QWidget* parent)
    : CpuTypeSheet("377", gui::layoutText(m, "PLC CPU 타입 - Linux", "PLC CPU Type - Linux"),
                   CpuTypeTable::linuxDialogButtons(), m, prompter, parent) {}

} // namespace dlu
