#pragma once

#include "devmem/DeviceMemorySelection.h"
#include "devmem/gui/DevmemGuiEnv.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace dlu {

// What the main window's four device memory buttons do after their connection check (402):
// the matching CPU type dialog, the connect with the CPU type check, then the device memory
// window (or the Linux one) in the button's direction with the chosen code.
struct DeviceMemoryOpenSteps {
    // The CPU type dialog (the Linux one when `linuxFamily`); nothing when cancelled. Unset:
    // chooseCpuTypeByDialog().
    std::function<std::optional<CpuType>(QWidget* parent, bool linuxFamily)> chooseCpuType;
    // Writes the code into the session and connects with the online CPU type check; false
    // (after the session's own message) when the PLC is not reached or does not match.
    std::function<bool(CpuType cpu)> connectAndCheck;
};

enum class DeviceMemoryFamily { Normal, Linux };

// Runs CCpuTypeDialog, or CLinuxCpuTypeDialog for the Linux family, modally.
std::optional<CpuType> chooseCpuTypeByDialog(QWidget* parent, const DevmemGuiEnv& env,
                                             bool linuxFamily);

// Runs the steps and then the window, modally. `pathText` is the main window's file path
// text, where the file dialogs start. False when a step stopped it.
bool openDeviceMemory(QWidget* parent, const DevmemGuiEnv& env, DeviceMemoryFamily family,
                      DeviceMemoryMode mode, const QString& pathText,
                      const DeviceMemoryOpenSteps& steps);

} // namespace dlu
