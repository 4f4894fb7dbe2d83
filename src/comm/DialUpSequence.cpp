#include "comm/DialUpSequence.h"

#include "comm/ChannelFactory.h"
#include "comm/CommSet.h"
#include "common/Clock.h"
#include "common/Prompter.h"
#include "common/StringTable.h"

#include <chrono>

namespace dlu {

namespace {
using namespace std::chrono_literals;

constexpr const char* kModemCode = "\nMODEM CODE : ";
} // namespace

DialUpSequence::DialUpSequence(DialUpChannel& modem, const CommSet& settings, Prompter& prompter,
                               const Messages& messages, Clock& clock)
    : modem_(modem), settings_(settings), prompter_(prompter), messages_(messages), clock_(clock) {}

std::string DialUpSequence::phoneText(const CommSet& settings) {
    if (settings.strDIALexitNo.empty()) {
        return settings.strDIALcallNo;
    }
    return settings.strDIALexitNo + " , " + settings.strDIALcallNo;
}

void DialUpSequence::show() {
    if (sink_) {
        sink_(status_);
    }
}

bool DialUpSequence::fail(const std::string& code) {
    prompter_.message(std::string(messages_(Msg::ModemFailed)) + kModemCode + code,
                      PromptButtons::Ok, PromptIcon::Stop);
    modem_.hangUp();
    clock_.sleep(500ms);
    return false;
}

bool DialUpSequence::run() {
    connectAnswer_.clear();
    status_ = {phoneText(settings_), 0, std::string(messages_(Msg::InitializingModem))};
    show();
    const bool dialling = modem_.dial(settings_.initCommand(), settings_.dialString());
    status_.status = std::string(messages_(Msg::Connecting));
    show();

    for (;;) {
        clock_.sleep(1000ms);
        if (cancelled_ && cancelled_()) {
            modem_.hangUp();
            return false;
        }
        if (!dialling) {
            prompter_.message(messages_(Msg::ModemInitFailed), PromptButtons::Ok, PromptIcon::Stop);
            return false;
        }
        std::string code;
        if (modem_.pollCall(code)) {
            connectAnswer_ = code;
            prompter_.message(std::string(messages_(Msg::ModemConnected)) + kModemCode + code);
            clock_.sleep(500ms);
            return true;
        }
        ++status_.elapsed;
        show();
        if (!code.empty()) {
            return fail(code);
        }
        if (status_.elapsed > kMaxSeconds) {
            return fail(kCallingTimeout);
        }
    }
}

} // namespace dlu
