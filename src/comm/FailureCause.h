#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dlu {

// The one short line under a failure's message that says why it happened: the system's reason
// for a channel that could not be opened, what was tried with a PLC that did not answer.
// Empty when nothing more is known than the message itself says.

// The system's reason (an errno value) for a channel to `target` ("127.0.0.1:10266",
// "/dev/ttyUSB0") that could not be opened or was lost.
std::string systemErrorCause(int errnoValue, std::string_view target);

// "host name plc1 not found"
std::string unresolvedHostCause(std::string_view hostName);

// What was tried with a peer that never answered: "no answer from 127.0.0.1:10266 to 4
// protocol tests of 2 s".
std::string silentPeerCause(std::string_view target, int tests, std::int64_t timeoutMillis);

// The connect phase as it goes: "Connecting to 127.0.0.1:10266 (attempt 2 of 4)".
std::string connectingText(std::string_view target, int attempt, int attempts);

// "127.0.0.1:10266" for an IPv4 address kept with its first octet in the high byte.
std::string tcpTarget(std::uint32_t address, std::uint16_t port);

} // namespace dlu
