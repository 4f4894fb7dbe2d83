#pragma once

namespace dlu {

class Clock;
class COnlineModule;
class Messages;
class Prompter;

// What a device memory transfer works with: a connected session (its owner connects it, with
// the CPU type check, before the transfer and disconnects it afterwards), the port to the
// user, the texts of the run and the clock of its waits.
struct DeviceTransferContext {
    COnlineModule& session;
    Prompter& prompter;
    const Messages& messages;
    Clock& clock;
};

} // namespace dlu
