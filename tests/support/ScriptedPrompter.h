#pragma once

#include "common/Prompter.h"

#include <deque>
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

    void answer(PromptAnswer a) { answers_.push_back(a); }
    const std::vector<Shown>& shown() const { return shown_; }
    std::vector<std::string> texts() const;
    std::size_t unusedAnswers() const { return answers_.size(); }
    void clear() { shown_.clear(); }

private:
    std::deque<PromptAnswer> answers_;
    std::vector<Shown> shown_;
};

} // namespace dlu::test
