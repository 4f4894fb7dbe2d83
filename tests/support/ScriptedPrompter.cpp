#include "support/ScriptedPrompter.h"

namespace dlu::test {

PromptAnswer ScriptedPrompter::message(std::string_view text, PromptButtons buttons,
                                       PromptIcon icon) {
    shown_.push_back({std::string(text), buttons, icon});
    if (buttons == PromptButtons::Ok) {
        return PromptAnswer::Ok;
    }
    if (answers_.empty()) {
        return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoDefaultNo
                   ? PromptAnswer::No
                   : PromptAnswer::Cancel;
    }
    const PromptAnswer a = answers_.front();
    answers_.pop_front();
    return a;
}

std::optional<std::string> ScriptedPrompter::password(std::size_t maxLength) {
    ++passwordRequests_;
    passwordMaxLength_ = maxLength;
    if (passwords_.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> text = std::move(passwords_.front());
    passwords_.pop_front();
    if (text && text->size() > maxLength) {
        text->resize(maxLength);
    }
    return text;
}

std::vector<std::string> ScriptedPrompter::texts() const {
    std::vector<std::string> all;
    all.reserve(shown_.size());
    for (const auto& s : shown_) {
        all.push_back(s.text);
    }
    return all;
}

} // namespace dlu::test
