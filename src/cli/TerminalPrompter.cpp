#include "cli/TerminalPrompter.h"

#include "comm/PasswordCipher.h"
#include "common/TerminalText.h"

#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <string>

namespace dlu {

namespace {

PromptAnswer negative(PromptButtons buttons) {
    switch (buttons) {
    case PromptButtons::Ok:
        return PromptAnswer::Ok;
    case PromptButtons::YesNo:
    case PromptButtons::YesNoDefaultNo:
        return PromptAnswer::No;
    case PromptButtons::OkCancel:
    case PromptButtons::YesNoCancel:
    case PromptButtons::RetryCancel:
        return PromptAnswer::Cancel;
    }
    return PromptAnswer::Cancel;
}

const char* answerName(PromptAnswer a) {
    switch (a) {
    case PromptAnswer::Ok:
        return "OK";
    case PromptAnswer::Cancel:
        return "Cancel";
    case PromptAnswer::Yes:
        return "Yes";
    case PromptAnswer::No:
        return "No";
    case PromptAnswer::Retry:
        return "Retry";
    }
    return "";
}

} // namespace

std::optional<std::string> TerminalPrompter::password(std::size_t maxLength) {
    if (password_) {
        return PasswordCipher::fitted(*password_, maxLength);
    }
    if (in_ == nullptr || isatty(fileno(in_)) == 0) {
        std::fprintf(out_, "The PLC is locked by a password: give it with --password or "
                           "DLUTIL_PASSWORD.\n");
        return std::nullopt;
    }
    termios saved{};
    const int fd = fileno(in_);
    const bool canHide = tcgetattr(fd, &saved) == 0;
    if (canHide) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::fprintf(out_, "Password: ");
    std::fflush(out_);
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, in_) != nullptr;
    if (canHide) {
        tcsetattr(fd, TCSAFLUSH, &saved);
    }
    std::fprintf(out_, "\n");
    if (!got) {
        return std::nullopt;
    }
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return PasswordCipher::fitted(text, maxLength);
}

void TerminalPrompter::finish(bool failed) {
    if (failed) {
        for (const auto& text : held_) {
            std::fprintf(out_, "%s\n", text.c_str());
        }
    }
    held_.clear();
}

PromptAnswer TerminalPrompter::message(std::string_view text, PromptButtons buttons, PromptIcon) {
    // Messages name entries, programs and files that came from outside.
    const std::string shown = displaySafe(text, true);
    if (buttons == PromptButtons::Ok) {
        last_ = std::string(text);
    }
    if (buttons == PromptButtons::Ok && verbosity_ == Verbosity::Quiet) {
        // The last messages are the ones that say why; a long run keeps only those.
        constexpr std::size_t kHeld = 64;
        if (held_.size() == kHeld) {
            held_.erase(held_.begin());
        }
        held_.emplace_back(shown);
        return PromptAnswer::Ok;
    }
    std::fprintf(out_, "%s\n", shown.c_str());
    if (buttons == PromptButtons::Ok) {
        return PromptAnswer::Ok;
    }
    if (policy_) {
        if (const auto preset = policy_(text, buttons)) {
            std::fprintf(out_, "-> %s\n", answerName(*preset));
            return *preset;
        }
    }
    if (in_ == nullptr || isatty(fileno(in_)) == 0) {
        // Said, so that a script's log shows why the command went no further.
        const PromptAnswer answer = negative(buttons);
        std::fprintf(out_, "-> %s (no terminal to ask; --yes or --no answers)\n",
                     answerName(answer));
        return answer;
    }
    const char* choices = "";
    switch (buttons) {
    case PromptButtons::YesNo:
    case PromptButtons::YesNoDefaultNo:
        choices = "[y]es / [n]o";
        break;
    case PromptButtons::YesNoCancel:
        choices = "[y]es / [n]o / [c]ancel";
        break;
    case PromptButtons::OkCancel:
        choices = "[o]k / [c]ancel";
        break;
    case PromptButtons::RetryCancel:
        choices = "[r]etry / [c]ancel";
        break;
    case PromptButtons::Ok:
        break;
    }
    for (;;) {
        std::fprintf(out_, "%s? ", choices);
        std::fflush(out_);
        char line[64] = {};
        if (std::fgets(line, sizeof line, in_) == nullptr) {
            return negative(buttons);
        }
        const int c = std::tolower(static_cast<unsigned char>(line[0]));
        const bool yesNo = buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel ||
                           buttons == PromptButtons::YesNoDefaultNo;
        if (yesNo && c == 'y') {
            return PromptAnswer::Yes;
        }
        if (yesNo && c == 'n') {
            return PromptAnswer::No;
        }
        if (buttons == PromptButtons::OkCancel && c == 'o') {
            return PromptAnswer::Ok;
        }
        if (buttons == PromptButtons::RetryCancel && c == 'r') {
            return PromptAnswer::Retry;
        }
        if (buttons != PromptButtons::YesNo && buttons != PromptButtons::YesNoDefaultNo && c == 'c') {
            return PromptAnswer::Cancel;
        }
    }
}

} // namespace dlu
