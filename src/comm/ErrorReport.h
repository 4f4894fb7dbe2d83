#pragma once

#include <cstdint>
#include <string_view>

namespace dlu {

class Messages;
class Prompter;

// Turns the protocol's last error code into messages after a failed transaction. Its result
// tells the caller whether the session can stay online: false for channel and frame errors
// (a check code mismatch included), true when the PLC itself answered (with an error code)
// or the request was refused here before anything was sent.
class ErrorReport {
public:
    // Who reports: the session names the connection type in use, the download engine only
    // says that the PLC failed.
    enum class Variant { Session, Download };

    // Connection type ids as CommSet keeps them.
    static constexpr std::uint8_t kConnectionUsb = 5;

    ErrorReport(Prompter& prompter, const Messages& messages)
        : prompter_(prompter), messages_(messages) {}

    // `cause` (why the channel failed, what was tried) goes under the message of a channel
    // error as its cause line. `step` names the request that failed ("sending Program 003,
    // block 3 of 7"); it leads the cause line of a channel error and is the cause line of a
    // frame error and of the PLC's own error text.
    bool report(std::uint8_t lastErrorCode, std::uint8_t connectionType,
                Variant variant = Variant::Session, std::string_view cause = {},
                std::string_view step = {}) const;

private:
    Prompter& prompter_;
    const Messages& messages_;
};

} // namespace dlu
