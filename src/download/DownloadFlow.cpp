#include "download/DownloadFlow.h"

#include "comm/CProtocol.h"
#include "common/Clock.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"

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
        if (session_.cpuTypeDeclined()) {
            // The user's own No: nothing more to say, and nothing was sent after the check.
            session_.disconnect();
            return Outcome::CpuTypeDeclined;
        }
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
        session_.errorReport(ErrorReport::Variant::Session, {}, "starting the download (0x83)");
        ctx_.prompter.message(ctx_.messages(Msg::HoldsPreviousProject), PromptButtons::Ok,
                              PromptIcon::Warning);
        return Outcome::BeginFailed;
    }

    const bool ok = sequence.run();
    sequenceFailure_ = sequence.failure();
    if (!ok) {
        tellWhatThePlcHolds(sequence);
    } else {
        ctx_.clock.sleep(kSettlePause);
        if (!readStatus(status)) {
            return Outcome::Succeeded; // downloaded; only the Remote RUN offer is lost
        }
        if (status.isRemote()) {
            offerRemoteRun();
        }
    }
    session_.disconnect();
    if (ok) {
        return Outcome::Succeeded;
    }
    return sequenceFailure_ == DownloadSequence::Failure::Cancelled ? Outcome::DownloadCancelled
                                                                     : Outcome::DownloadFailed;
}

void DownloadFlow::tellWhatThePlcHolds(const DownloadSequence& sequence) {
    // The PLC was in STOP for the download and stays there; its memory holds the items that
    // were answered whole, and the rest of the project is missing or cut inside an item.
    const std::size_t whole = sequence.wholeItems();
    std::string text;
    if (sequence.failure() == DownloadSequence::Failure::Cancelled) {
        text = std::string(ctx_.messages(Msg::DownloadCancelled)) + "\n";
    }
    if (whole == 0) {
        text += ctx_.messages(Msg::HoldsNoItem);
    } else {
        text += formatText(ctx_.messages(Msg::HoldsPartOfProject),
                           displaySafe(sequence.plan().at(whole - 1).label).c_str());
    }
    ctx_.prompter.message(text, PromptButtons::Ok, PromptIcon::Warning);
}

bool DownloadFlow::readStatus(PlcStatus& status) {
    if (session_.statusRead(status)) {
        return true;
    }
    // The status read has no message of its own: without the report the flow would stop
    // without a word.
    session_.errorReport(ErrorReport::Variant::Session, {}, "reading the CPU mode");
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
            session_.errorReport(ErrorReport::Variant::Session, {},
                                 "switching the CPU to Remote STOP");
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
        session_.errorReport(ErrorReport::Variant::Session, {}, "switching the CPU to Remote RUN");
        remoteRunFailed_ = true;
        return;
    }
    switchedToRun_ = true;
}

} // namespace dlu
