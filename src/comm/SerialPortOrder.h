#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dlu {

// Order of the computer's serial ports, shared by the setup page that lists them and the
// channel that opens one: a stored port index is a position in this order. Names compare by
// their text without digits, then by the number their digits form, so "COM1", "COM3",
// "COM10" and "ttyS2", "ttyS10", "ttyUSB0" come in the order people expect.
bool serialPortNameLess(std::string_view a, std::string_view b);

std::vector<std::string> sortSerialPortNames(std::vector<std::string> names);

} // namespace dlu
