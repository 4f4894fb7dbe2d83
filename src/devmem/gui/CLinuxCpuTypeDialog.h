#pragma once

#include "devmem/gui/CpuTypeSheet.h"

namespace dlu {

// Chooses the CPU type before a Linux device memory backup or restore.
class CLinuxCpuTypeDialog : public CpuTypeSheet {
    Q_OBJECT
public:
    CLinuxCpuTypeDialog(const Messages& messages, Prompter& prompter, QWidget* parent = nullptr);
};

} // namespace dlu
