#pragma once

#include "common/OperationRecord.h"

namespace dlu {

class COnlineModule;
struct ConnectionDescription;

// What an operation record says of the link: its type ("serial", "dialup", "leased-line",
// "tcp", "sim", "usb", "embedded", "none") and its address or device. A password is never
// part of a description, so none can reach the record from here.
void noteLink(OperationRecord& record, const ConnectionDescription& link);

// What an operation record says of the PLC the session identified: the identity's label and,
// once the PLC has answered with its identity, its CPU code and firmware version.
void notePlc(OperationRecord& record, const COnlineModule& session);

} // namespace dlu
