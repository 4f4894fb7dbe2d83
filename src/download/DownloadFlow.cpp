#include "download/DownloadFlow.h"

#include "comm/CProtocol.h"
#include "common/Clock.h"
#include "common/Prompter.h"
#include "common/StringTable.h"

namespace dlu {

DownloadFlow::Outcome DownloadFlow::run(const DownloadJob& job, bool connectionChosen) {
    sequenceFailure_ = DownloadSequence::Failure::None;
    askedRemoteRun_ = false;
    switchedToRun_ = false;
    remoteRunFailed_ = false;

    if (job.packagePath.empty() || !connectionChosen) {
        const bool noPackage = job.packagePath.empty();
        ctx_.prompter.message(ctx_.messages(noPackage ? Msg::NoPackage : Msg::NoConnection));
        session_.disconnect();
        return noPackage ? Outcome::NoPackage : Outcome::NoConnection;
    }

    // The package is read and checked before anything reaches the PLC: a package that cannot
    // be read must not leave the CPU in STOP or in its download state.
    DownloadSequence sequence(ctx_, session_, reader_, job);
    sequence.setObserver(observer_);
    if (!sequence.prepare()) {
        sequenceFailure_ = sequence.failure();
        if (observer_ != nullptr) {
            observer_->finished(false);
        }
        session_.disconnect();
        return Outcome::PackageFailed;
    }

    session_.setProjectCpuType(job.projectCpuType);
    if (!session_.connect()) {
        ctx_.prompter.message(ctx_.messages(Msg::ConnectFailed));
        session_.disconnect();
        return Outcome::ConnectFailed;
    }

    // From here a step that stops leaves the session connected, as the dialog does: the next
    // connect starts over with a fresh channel.
    PlcStatus status;
    if (!readStatus(status)) {
        return Outcome::StatusReadFailed;
    }
    if (!session_.makeRedundantCpuActive()) {
        return Outcome::RedundantDeclined;
    }
    if (!status.isStop()) {
        if (const Outcome o = bringToStop(status); o != Outcome::Succeeded) {
            return o;
        }
    }
    if (!session_.beginDownload()) {
        session_.errorReport();
        return Outcome::BeginFailed;
    }

    const bool ok = sequence.run();
    sequenceFailure_ = sequence.failure();
    if (ok) {
        ctx_.clock.sleep(kSettlePause);
        if (!readStatus(status)) {
            return Outcome::Succeeded; // downloaded; only the Remote RUN offer is lost
        }
        if (status.isRemote()) {
            offerRemoteRun();
        }
    }
    session_.disconnect();
    return ok ? Outcome::Succeeded : Outcome::DownloadFailed;
}

bool DownloadFlow::readStatus(PlcStatus& status) {
    if (session_.statusRead(status)) {
        return true;
    }
    // The status read has no message of its own: without the report the flow would stop
    // without a word.
    session_.errorReport();
    return false;
}

DownloadFlow::Outcome DownloadFlow::bringToStop(PlcStatus status) {
    // Only the key switch can help a CPU at LOCAL RUN: ask until it is turned or the user
    // gives up.
    for (;;) {
        if (!readStatus(status)) {
            return Outcome::StatusReadFailed;
        }
        if (status.isStop() || status.isRemote()) {
            break;
        }
        if (ctx_.prompter.message(ctx_.messages(Msg::ModeNotPossible), PromptButtons::RetryCancel,
                                  PromptIcon::Stop) != PromptAnswer::Retry) {
            return Outcome::ModeCheckCancelled;
        }
    }
    if (status.isRemote() && !status.isStop()) {
        if (ctx_.prompter.message(ctx_.messages(Msg::AskRemoteStop), PromptButtons::YesNoDefaultNo,
                                  PromptIcon::Question) != PromptAnswer::Yes) {
            return Outcome::StopDeclined;
        }
        if (session_.changeCpuMode(CProtocol::kModeRemoteStop) == 0) {
            session_.errorReport();
            return Outcome::ModeChangeFailed;
        }
    }
    return Outcome::Succeeded;
}

void DownloadFlow::offerRemoteRun() {
    askedRemoteRun_ = true;
    if (ctx_.prompter.message(ctx_.messages(Msg::AskRemoteRun), PromptButtons::YesNoDefaultNo,
                              PromptIcon::Question) != PromptAnswer::Yes) {
        return;
    }
    if (session_.changeCpuMode(CProtocol::kModeRemoteRun) == 0) {
        session_.errorReport();
        remoteRunFailed_ = true;
        return;
    }
    switchedToRun_ = true;
}

} // namespace dlu
