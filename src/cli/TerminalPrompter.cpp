#include "cli/TerminalPrompter.h"

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
        return PromptAnswer::No;
    case PromptButtons::OkCancel:
    case PromptButtons::YesNoCancel:
    case PromptButtons::RetryCancel:
        return PromptAnswer::Cancel;
    }
    return PromptAnswer::Cancel;
}

} // namespace

PromptAnswer TerminalPrompter::message(std::string_view text, PromptButtons buttons, PromptIcon) {
    std::fprintf(out_, "%.*s\n", static_cast<int>(text.size()), text.data());
    if (buttons == PromptButtons::Ok) {
        return PromptAnswer::Ok;
    }
    if (in_ == nullptr || isatty(fileno(in_)) == 0) {
        return negative(buttons);
    }
    const char* choices = "";
    switch (buttons) {
    case PromptButtons::YesNo:
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
        const bool yesNo = buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel;
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
        if (buttons != PromptButtons::YesNo && c == 'c') {
            return PromptAnswer::Cancel;
        }
    }
}

} // namespace dlu
