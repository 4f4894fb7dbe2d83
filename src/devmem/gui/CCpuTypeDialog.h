#pragma once

#include "devmem/gui/CpuTypeSheet.h"

namespace dlu {

// Chooses the CPU type before a device memory backup or restore.
class CCpuTypeDialog : public CpuTypeSheet {
    Q_OBJECT
public:
    CCpuTypeDialog(const Messages& messages, Prompter& prompter, QWidget* parent = nullptr);
};

} // namespace dlu
