#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dlu {

// One serial port of the computer as the channels see it.
struct SerialPortEntry {
    QString name;           // "ttyS0", "ttyUSB0", "COM3"
    QString systemLocation; // what QSerialPort opens ("/dev/ttyS0")
    bool usbDevice = false; // the port reports a USB vendor identifier
};

// Lists the serial ports in the order of the stored port index. Tests hand the channels a
// list of their own (pseudo-terminals are not in the system's list).
using SerialPortLister = std::function<std::vector<SerialPortEntry>()>;

// A port with what the system says of it, for a list people choose from.
struct DescribedSerialPort {
    SerialPortEntry port;
    QString description;
    QString manufacturer;
    std::optional<unsigned> latencyMs{}; // the USB-serial adapter's latency timer, if it has one
    bool latencyWritable = false;        // this user may set that timer
};

// The computer's serial ports from QSerialPortInfo, sorted by serialPortNameLess.
std::vector<DescribedSerialPort> describedSerialPorts();
// The same ports without their descriptions.
std::vector<SerialPortEntry> systemSerialPorts();

// The paths of a port list in its order: the list ConnectionDescription's conversions take, so that
// a stored port index and a named device map onto each other.
std::vector<std::string> serialPortPaths(const std::vector<SerialPortEntry>& ports);

} // namespace dlu
