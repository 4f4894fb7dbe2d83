#include "devmem/gui/DeviceMemoryOpener.h"

#include "devmem/gui/CDeviceMemorySetDlg.h"
#include "devmem/gui/CLinuxDeviceMemorySetDlg.h"

namespace dlu {

bool openDeviceMemory(QWidget* parent, const DevmemGuiEnv& env, DeviceMemoryFamily family,
                      DeviceMemoryMode mode, const QString& pathText,
                      const DeviceMemoryOpenSteps& steps) {
    const bool linuxFamily = family == DeviceMemoryFamily::Linux;
    const auto cpu = steps.chooseCpuType ? steps.chooseCpuType(parent, linuxFamily) : std::nullopt;
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
