#pragma once

#include "common/Prompter.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace dlu::test {

// Answers questions from a queue and records everything shown. A message box with only an OK
// button takes no answer from the queue; a question with the queue empty is answered Cancel
// (or No), so that a missing script line shows up as a refused question, not a hang.
class ScriptedPrompter final : public Prompter {
public:
    struct Shown {
        std::string text;
        PromptButtons buttons;
        PromptIcon icon;
    };

    PromptAnswer message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                         PromptIcon icon = PromptIcon::None) override;

    std::optional<std::string> password(std::size_t maxLength) override;

    void answer(PromptAnswer a) { answers_.push_back(a); }
    // Password entries in turn: a text is typed (cut at the entry's length, as the entry
    // takes no more), nothing is a cancel. With the queue empty the entry is cancelled.
    void answerPassword(std::optional<std::string> text) { passwords_.push_back(std::move(text)); }
    // How often a password was asked for, and the length limit of the last entry.
    int passwordRequests() const { return passwordRequests_; }
    std::size_t passwordMaxLength() const { return passwordMaxLength_; }
    const std::vector<Shown>& shown() const { return shown_; }
    std::vector<std::string> texts() const;
    std::size_t unusedAnswers() const { return answers_.size(); }
    void clear() { shown_.clear(); }

private:
    std::deque<PromptAnswer> answers_;
    std::deque<std::optional<std::string>> passwords_;
    int passwordRequests_ = 0;
    std::size_t passwordMaxLength_ = 0;
    std::vector<Shown> shown_;
};

} // namespace dlu::test
