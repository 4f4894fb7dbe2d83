#pragma once

#include <cstdint>

namespace dlu {

class CommSet;

// What the Defaults button of the connection setup dialog puts on the page of connection
// type `type`. Only the fields that page edits change. These are not the defaults of a record
// that was never saved: the serial pages get a 1-second time-out here, while a fresh record
// has 2 seconds, and the Tx delay keeps its value.
void resetSetupPage(CommSet& record, std::uint8_t type);

} // namespace dlu
