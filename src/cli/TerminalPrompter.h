#pragma once

#include "common/Prompter.h"

#include <cstdio>

namespace dlu {

// Prompter of dlutil: messages go to standard error; a question is asked on the terminal when
// there is one, and otherwise answered with its negative button (No, or Cancel) so that a
// script never hangs and never agrees to something it did not ask for.
class TerminalPrompter final : public Prompter {
public:
    explicit TerminalPrompter(std::FILE* out = stderr, std::FILE* in = stdin)
        : out_(out), in_(in) {}

    PromptAnswer message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                         PromptIcon icon = PromptIcon::None) override;

private:
    std::FILE* out_;
    std::FILE* in_;
};

} // namespace dlu
