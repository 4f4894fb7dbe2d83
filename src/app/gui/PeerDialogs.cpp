#include "app/gui/PeerDialogs.h"

#include "app/gui/CDownloadUtilDlg.h"
#include "app/gui/SessionWorker.h"
#include "comm/Connection.h"
#include "package/gui/CEncryptionMsgDlg.h"
#include "devmem/gui/DeviceMemoryOpener.h"

#include "comm/CommSet.h"
#include "comm/PasswordCipher.h"
#include "comm/gui/CCommSetDlg.h"
#include "comm/gui/CPasswordDlg.h"
#include "common/SettingsStore.h"
#include "devmem/gui/CCpuTypeDialog.h"
#include "devmem/gui/CLinuxCpuTypeDialog.h"

namespace dlu::gui {

ConnectionDescription storedConnection(SettingsStore& settings) {
    CommSet record;
    record.load(settings);
    return ConnectionDescription::fromCommSet(record);
}

std::optional<ConnectionDescription> runConnectionSetup(QWidget* parent, SettingsStore& settings,
                                                        const Messages& messages) {
    CCommSetDlg dialog(settings, messages, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.spec();
}

std::optional<CpuType> runCpuTypeChoice(QWidget* parent, bool linuxFamily, const Messages& messages,
                                        Prompter& prompter) {
    CpuType chosen = kNoCpuType;
    if (linuxFamily) {
        CLinuxCpuTypeDialog dialog(messages, prompter, parent);
        dialog.exec();
        chosen = dialog.cpuType();
    } else {
        CCpuTypeDialog dialog(messages, prompter, parent);
        dialog.exec();
        chosen = dialog.cpuType();
    }
    if (chosen == kNoCpuType) {
        return std::nullopt; // cancelled
    }
    return chosen;
}

std::optional<std::string> runPasswordDialog(QWidget* parent, std::size_t maxLength,
                                             const Messages& messages) {
    CPasswordDlg dialog(messages, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return PasswordCipher::fitted(dialog.password(), maxLength);
}

DevmemGuiEnv deviceMemoryEnv(SessionWorker& worker, Prompter& prompter, const Messages& messages,
                             Clock& clock) {
    return DevmemGuiEnv{prompter,
                        messages,
                        clock,
                        [&worker](SessionJob job) {
                            return worker.runAndWait(
                                [&job](Connection& c) { return job(c.session()); });
                        },
                        {}};
}

void runDeviceMemoryWindow(QWidget* parent, const DevmemGuiEnv& env, int buttonId, int direction,
                           CpuType cpuType, const QString& pathText) {
    using Dlg = CDownloadUtilDlg;
    const bool linuxFamily = buttonId == Dlg::kIdLinuxRestore || buttonId == Dlg::kIdLinuxBackup;
    // The main window has already made the choice and connected with its check.
    DeviceMemoryOpenSteps steps;
    steps.chooseCpuType = [cpuType](QWidget*, bool) { return std::optional(cpuType); };
    steps.connectAndCheck = [](CpuType) { return true; };
    openDeviceMemory(
        parent, env, linuxFamily ? DeviceMemoryFamily::Linux : DeviceMemoryFamily::Normal,
        direction == 1 ? DeviceMemoryMode::Restore : DeviceMemoryMode::Backup, pathText, steps);
}

void runEncryptionNotice(QWidget* parent, const Messages& messages) {
    CEncryptionMsgDlg dlg(messages, parent);
    dlg.exec();
}

} // namespace dlu::gui
