#pragma once

#include "comm/ConnectionDescription.h"
#include "plc/CpuTypeTable.h"

#include <cstddef>
#include <optional>
#include <string>

class QWidget;

namespace dlu {
class Messages;
class Prompter;
class SettingsStore;
} // namespace dlu

namespace dlu::gui {

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

} // namespace dlu::gui
