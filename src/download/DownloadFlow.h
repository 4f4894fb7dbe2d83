#pragma once

#include "comm/COnlineModule.h"
#include "download/DownloadSequence.h"

#include <chrono>

namespace dlu {

class CFileControl;
class DownloadObserver;

// The main dialog's download button as a core class, so that the desktop program and dlutil
// run the same steps: connect with the project's CPU type, read the status, bring the CPU to
// STOP (asking first), send 0x83, run the download sequence, offer Remote RUN and disconnect.
// A download that does not finish says what the PLC holds now and never offers Remote RUN.
// Every question goes through the prompter of the context with its message id; the command
// line answers them from its options.
class DownloadFlow {
public:
    enum class Outcome {
        Succeeded,          // downloaded (whatever was answered to Remote RUN)
        NoPackage,          // 401
        NoConnection,       // 402
        PackageFailed,      // the package could not be read or checked; the PLC was not touched
        ConnectFailed,      // 403 after the connect step's own message
        StatusReadFailed,   // the error report has been shown
        RedundantDeclined,  // the user kept the redundant CPU as it was
        ModeCheckCancelled, // 661 answered Cancel
        StopDeclined,       // 662 answered No
        ModeChangeFailed,   // 'M' 32 refused; the error report has been shown
        BeginFailed,        // 0x83 refused; the error report has been shown
        DownloadFailed,     // the sequence failed and has said why, then what the PLC holds
        DownloadCancelled,  // stopped between two requests; what the PLC holds has been shown
        CpuTypeDeclined,    // No to a CPU type pair the table does not name; nothing was sent
    };

    static constexpr std::chrono::milliseconds kSettlePause{100};

    DownloadFlow(const OnlineContext& context, COnlineModule& session, CFileControl& reader)
        : ctx_(context), session_(session), reader_(reader) {}

    void setObserver(DownloadObserver* observer) { observer_ = observer; }

    // One press of the download button. An empty package path means no package is loaded.
    Outcome run(const DownloadJob& job, bool connectionChosen = true);

    // Why the last sequence failed (None when it did not run or succeeded).
    DownloadSequence::Failure sequenceFailure() const { return sequenceFailure_; }
    // Whether Remote RUN was asked and switched after the last download.
    bool askedRemoteRun() const { return askedRemoteRun_; }
    bool switchedToRun() const { return switchedToRun_; }
    // Whether Remote RUN was asked for after a good download and the PLC did not switch.
    bool remoteRunFailed() const { return remoteRunFailed_; }

private:
    bool readStatus(PlcStatus& status);
    Outcome bringToStop(PlcStatus status);
    void offerRemoteRun();
    void tellWhatThePlcHolds(const DownloadSequence& sequence);

    OnlineContext ctx_;
    COnlineModule& session_;
    CFileControl& reader_;
    DownloadObserver* observer_ = nullptr;
    DownloadSequence::Failure sequenceFailure_ = DownloadSequence::Failure::None;
    bool askedRemoteRun_ = false;
    bool switchedToRun_ = false;
    bool remoteRunFailed_ = false;
};

} // namespace dlu
