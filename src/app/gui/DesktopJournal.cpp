#include "app/gui/DesktopJournal.h"

#include "app/gui/GuiPrompter.h"
#include "app/gui/SessionWorker.h"
#include "comm/OperationNotes.h"
#include "common/AppSettings.h"
#include "common/SettingsStore.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"

#include <QString>

#include <cstdio>

namespace dlu::gui {

DesktopJournal::DesktopJournal(SettingsStore& settings, GuiPrompter& prompter,
                               const SessionWorker& worker, const Messages& messages)
    : settings_(settings), prompter_(prompter), worker_(worker), messages_(messages) {}

bool DesktopJournal::enabled() const {
    return settings_.getInt(AppSettings::kSettingsSection, AppSettings::kOperationRecord, 1) != 0;
}

void DesktopJournal::setEnabled(bool on) {
    settings_.writeInt(AppSettings::kSettingsSection, AppSettings::kOperationRecord, on ? 1 : 0);
}

void DesktopJournal::begin() { prompter_.forgetLastMessage(); }

void DesktopJournal::end(OperationRecord record) {
    if (!enabled() || OperationLog::disabledByEnvironment()) {
        return;
    }
    record.program = "downloader";
    if (record.connectionType.empty()) {
        noteLink(record, worker_.spec());
    }
    record.message = englishText(prompter_.lastMessage());
    record.seconds =
        std::chrono::duration<double>(std::chrono::system_clock::now() - record.time).count();
    std::string reason;
    if (recordOperation(std::move(record), reason) || warned_) {
        return;
    }
    warned_ = true;
    const std::string shown = displaySafe(reason);
    std::fprintf(stderr, "downloader: the operation record could not be written: %s\n",
                 shown.c_str());
    const bool korean = messages_.language() == Language::Korean;
    prompter_.messageWithCause(korean ? "작업 기록을 남기지 못했습니다. 작업 자체는 영향을 받지 "
                                        "않았으며, 이번 실행 중에는 다시 알리지 않습니다."
                                      : "The operation record could not be written. The "
                                        "operation itself was not affected; this is not said "
                                        "again while the program runs.",
                               shown, PromptButtons::Ok, PromptIcon::Warning);
}

} // namespace dlu::gui
