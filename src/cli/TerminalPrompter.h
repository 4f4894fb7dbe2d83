#pragma once

#include "cli/ProgressMeter.h"
#include "common/Prompter.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

    // The connection password: the preset one when given (--password, DLUTIL_PASSWORD),
    // else asked on the terminal without echo; with neither, nothing (the login then fails,
    // after a line that says how to give one).
    std::optional<std::string> password(std::size_t maxLength) override;
    void setPassword(std::optional<std::string> password) { password_ = std::move(password); }

    // Answers questions before the terminal is asked (--yes, --no, --run, ...): the policy
    // sees the text and the buttons and gives an answer, or nothing to ask as usual. The
    // question and the answer are still printed.
    using AnswerPolicy =
        std::function<std::optional<PromptAnswer>(std::string_view, PromptButtons)>;
    void setAnswerPolicy(AnswerPolicy policy) { policy_ = std::move(policy); }
    const AnswerPolicy& answerPolicy() const { return policy_; }

    // --quiet holds messages back (questions still go out): they are printed by finish() when
    // the command failed, so that a failure always says why.
    void setVerbosity(Verbosity verbosity) { verbosity_ = verbosity; }
    Verbosity verbosity() const { return verbosity_; }
    void finish(bool failed);
    // The last message that was not a question, shown or held back by --quiet, as it was
    // given; empty before one.
    const std::string& lastMessage() const { return last_; }

private:
    std::FILE* out_;
    Verbosity verbosity_ = Verbosity::Normal;
    std::vector<std::string> held_;
    std::string last_;
    std::FILE* in_;
    std::optional<std::string> password_;
    AnswerPolicy policy_;
};

} // namespace dlu
