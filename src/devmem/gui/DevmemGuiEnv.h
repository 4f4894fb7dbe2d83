#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace dlu {

class Clock;
class COnlineModule;
class Messages;
class OperationJournal;
class Prompter;
struct VerifyReport;

// Work that needs the connected online session; true when it succeeded.
using SessionJob = std::function<bool(COnlineModule& session)>;

// What the device memory windows work with. `runSession` runs a job with the live, connected
// session and returns its result; the caller waits for it while the window keeps painting
// (the desktop program runs it on its session thread, tests run it at once). Every question
// and message goes through `prompter`.
struct DevmemGuiEnv {
    Prompter& prompter;
    const Messages& messages;
    Clock& clock;
    std::function<bool(SessionJob)> runSession;

    enum class FileDialog { Save, Open };
    // Asks for a file; empty when cancelled. Unset: the platform's file dialog; a save dialog
    // then adds the suggested name's extension (".PDM") to a name typed without one before it
    // asks whether to replace an existing file.
    std::function<QString(QWidget* parent, FileDialog kind, const QString& folder,
                          const QString& suggestedName, const QString& filter)>
        chooseFile;

    // Where each backup and restore goes when it has ended; none: no record is kept.
    OperationJournal* journal = nullptr;

    QString askFile(QWidget* parent, FileDialog kind, const QString& folder,
                    const QString& suggestedName, const QString& filter) const;
};

// Where backups are named by default: the program's own folder when it may be written to (a
// portable copy), else the user's documents folder (an installed program's folder is not
// writable). Ends with a separator.
QString defaultDeviceMemoryFolder();

// Takes input away from a window's controls while a transfer works on its state, or gives it
// back. The window's own child windows (the progress window and its Cancel) stay usable.
void setControlsEnabled(QWidget* window, bool enabled);

// A save target that exists but is not a regular file (a device node, a named pipe, a link, a
// folder) is never replaced: true, after telling the user, when `path` is one.
bool refusedSaveTarget(const DevmemGuiEnv& env, const QString& path);

// Asks for the file a backup is saved to, with `extension` (".PDM", ".BIN") added to a name
// typed without one. A name that is only the extension, or a target refusedSaveTarget()
// refuses, is told and asked again; empty when the user cancels.
QString askSaveFile(const DevmemGuiEnv& env, QWidget* parent, const QString& folder,
                    const QString& extension, const QString& filter);

// Asked when a window is to close while its transfer runs: true when the user wants it closed
// once the transfer has ended (the answer defaults to No).
bool closeAfterTransfer(const DevmemGuiEnv& env);

// What the read-back after a restore found, in one message box.
void showVerifyReport(const DevmemGuiEnv& env, const VerifyReport& report);

// A message-table text as a QString.
QString qtext(const Messages& messages, int koreanId);

} // namespace dlu
