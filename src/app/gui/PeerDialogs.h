#pragma once

#include "comm/ConnectionDescription.h"
#include "devmem/gui/DevmemGuiEnv.h"
#include "plc/CpuTypeTable.h"

#include <cstddef>
#include <optional>
#include <string>

class QWidget;

namespace dlu {
class Clock;
class Messages;
class Prompter;
class SettingsStore;
} // namespace dlu

namespace dlu::gui {

class SessionWorker;

// The dialogs the main window opens, each modal over `parent`.

// Connection setup: loads the stored record, saves it on OK and returns the description of
// the chosen type; nothing on Cancel.
std::optional<ConnectionDescription> runConnectionSetup(QWidget* parent, SettingsStore& settings,
                                                        const Messages& messages);

// The stored connection description (what the setup dialog would start from).
ConnectionDescription storedConnection(SettingsStore& settings);

// The CPU type choice, standard or Linux family; nothing on Cancel.
std::optional<CpuType> runCpuTypeChoice(QWidget* parent, bool linuxFamily, const Messages& messages,
                                        Prompter& prompter);

// The PLC password, at most `maxLength` characters; nothing on Cancel.
std::optional<std::string> runPasswordDialog(QWidget* parent, std::size_t maxLength,
                                             const Messages& messages);

// The Encryption Error dialog, modal over `parent`, until OK.
void runEncryptionNotice(QWidget* parent, const Messages& messages);

// What the device memory windows work with: each transfer borrows the worker's connected
// session while the window keeps painting.
DevmemGuiEnv deviceMemoryEnv(SessionWorker& worker, Prompter& prompter, const Messages& messages,
                             Clock& clock);

// The device memory window a main window button opens once the main window has chosen the
// CPU type and connected: the standard one (169 restore, 170 backup) or the Linux one (172,
// 173), modal over `parent`, its file dialogs starting at `pathText`.
void runDeviceMemoryWindow(QWidget* parent, const DevmemGuiEnv& env, int buttonId, int direction,
                           CpuType cpuType, const QString& pathText);

} // namespace dlu::gui
