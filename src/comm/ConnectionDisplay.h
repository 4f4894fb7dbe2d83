#pragma once

#include <cstdint>
#include <string>

namespace dlu {

class CommSet;
class Messages;

// The main window's connection field: "Connection :  [ Ethernet ]  / IP Address : [ 192.168.
// 0. 10 ]" for the record's current connection type, in the language of `messages`. A type
// outside 0 to 5 shows the label and an empty type name.
std::string connectionDisplayText(const CommSet& record, const Messages& messages);

// "[ %3d.%3d.%3d.%3d ]" of an address whose first octet is the high byte.
std::string formatIpAddress(std::uint32_t address);

} // namespace dlu
