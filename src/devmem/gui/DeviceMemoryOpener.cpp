#include "devmem/gui/DeviceMemoryOpener.h"

#include "devmem/gui/CCpuTypeDialog.h"
#include "devmem/gui/CDeviceMemorySetDlg.h"
#include "devmem/gui/CLinuxCpuTypeDialog.h"
#include "devmem/gui/CLinuxDeviceMemorySetDlg.h"

#include <memory>

namespace dlu {

std::optional<CpuType> chooseCpuTypeByDialog(QWidget* parent, const DevmemGuiEnv& env,
                                             bool linuxFamily) {
    std::unique_ptr<CpuTypeSheet> dlg;
    if (linuxFamily) {
        dlg = std::make_unique<CLinuxCpuTypeDialog>(env.messages, env.prompter, parent);
    } else {
        dlg = std::make_unique<CCpuTypeDialog>(env.messages, env.prompter, parent);
    }
    if (dlg->exec() != QDialog::Accepted || dlg->cpuType() == kNoCpuType) {
        return std::nullopt;
    }
    return dlg->cpuType();
}

bool openDeviceMemory(QWidget* parent, const DevmemGuiEnv& env, DeviceMemoryFamily family,
                      DeviceMemoryMode mode, const QString& pathText,
                      const DeviceMemoryOpenSteps& steps) {
    const bool linuxFamily = family == DeviceMemoryFamily::Linux;
    const auto cpu = steps.chooseCpuType ? steps.chooseCpuType(parent, linuxFamily)
                                         : chooseCpuTypeByDialog(parent, env, linuxFamily);
    if (!cpu || !steps.connectAndCheck || !steps.connectAndCheck(*cpu)) {
        return false;
    }
    const QString folder = defaultDeviceMemoryFolder();
    if (linuxFamily) {
        CLinuxDeviceMemorySetDlg dlg(env, mode, *cpu, folder, pathText, parent);
        dlg.start();
        dlg.exec();
    } else {
        CDeviceMemorySetDlg dlg(env, mode, *cpu, folder, pathText, parent);
        dlg.exec();
    }
    return true;
}

} // namespace dlu
