#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace dlu {

// The rate of the line between the modems that a modem's "CONNECT" answer names, in bits per
// second ("CONNECT 1200/ARQ" gives 1200); nothing when the answer names none ("CONNECT") or is
// no CONNECT answer. Bytes reach the PLC and come back at this rate, however fast the serial
// port to the modem runs.
std::optional<std::uint32_t> connectLineRate(std::string_view answer);

} // namespace dlu
