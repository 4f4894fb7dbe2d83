#pragma once

#include "common/OperationRecord.h"

namespace dlu {
class Messages;
class SettingsStore;
} // namespace dlu

namespace dlu::gui {

class GuiPrompter;
class SessionWorker;

// The desktop program's operation record: each download, backup and restore the windows hand
// in is completed with the program's name, the connection the worker uses, the last message
// the user saw (in English) and its duration, and appended to the record. A record that
// cannot be written is told once per run, and the operation stays as it ended.
class DesktopJournal final : public OperationJournal {
public:
    DesktopJournal(SettingsStore& settings, GuiPrompter& prompter, const SessionWorker& worker,
                   const Messages& messages);

    // The setting: on unless the user turned it off. DLUTIL_NO_HISTORY (for tests) turns the
    // record off whatever the setting says.
    bool enabled() const;
    // Stores the setting.
    void setEnabled(bool on);

    void begin() override;
    void end(OperationRecord record) override;

private:
    SettingsStore& settings_;
    GuiPrompter& prompter_;
    const SessionWorker& worker_;
    const Messages& messages_;
    bool warned_ = false;
};

} // namespace dlu::gui
