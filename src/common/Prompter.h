#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dlu {

// YesNoDefaultNo: Yes and No with No as the default, for a question whose Yes stops, starts or
// overwrites something.
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, YesNoDefaultNo };
enum class PromptIcon { None, Information, Question, Warning, Stop };
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry };

// Port to the user: every question and message of a core flow goes through it. The desktop
// program shows message boxes, the command line asks on the terminal or answers from its
// options, tests answer from a script. Further questions (dial-up progress,
// file choice) join this interface with the flows that ask them.
class Prompter {
public:
    virtual ~Prompter() = default;

    // Shows `text` (UTF-8) and returns the button the user chose. With PromptButtons::Ok the
    // answer is always Ok.
    virtual PromptAnswer message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                                 PromptIcon icon = PromptIcon::None) = 0;

    // A failure's message with its cause on a line of its own under it (the desktop program
    // shows the cause as the box's informative text). Without a cause it is message().
    virtual PromptAnswer messageWithCause(std::string_view text, std::string_view cause,
                                          PromptButtons buttons = PromptButtons::Ok,
                                          PromptIcon icon = PromptIcon::None) {
        if (cause.empty()) {
            return message(text, buttons, icon);
        }
        std::string both(text);
        both += '\n';
        both += cause;
        return message(both, buttons, icon);
    }

    // The Encryption Error notice (what to check when the cryptography service could not be
    // set up), after message 674 was answered Yes. The desktop program shows its dialog; any
    // other front end shows `text`, the same lines.
    virtual void encryptionErrorNotice(std::string_view text) {
        message(text, PromptButtons::Ok, PromptIcon::Stop);
    }

    // Asks for the PLC's connection password, at most `maxLength` characters; nothing when
    // the user cancels. A front end that cannot ask answers nothing.
    virtual std::optional<std::string> password(std::size_t /*maxLength*/) { return std::nullopt; }
};

} // namespace dlu
