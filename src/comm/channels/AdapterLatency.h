#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace dlu {

// What the kernel offers about a USB-serial adapter's latency timer: the time the chip holds
// received bytes before it sends a short packet to the computer. The loader protocol waits for
// each answer before it sends the next request, so every answer waits the timer out (16 ms on
// many systems against about 14 ms of wire time for a request at 115,200 baud).
// The serial link asks through this, so that a test can watch what it asks and refuse it.
class SerialLatencyDriver {
public:
    // ASYNC_LOW_LATENCY of <linux/serial.h>: the drivers of such adapters set the timer to 1 ms.
    static constexpr int kLowLatencyFlag = 0x2000;

    virtual ~SerialLatencyDriver() = default;
    // The latency timer in milliseconds of the adapter behind `device` ("/dev/ttyUSB0" or a
    // link to it); nothing when the device has none (a built-in port, a CDC-ACM device, a pty).
    virtual std::optional<unsigned> latencyTimer(const std::string& device) = 0;
    // Writes the adapter's latency_timer attribute; false when this user may not.
    virtual bool setLatencyTimer(const std::string& device, unsigned ms) = 0;
    // The driver's serial flags of the open port `fd` (TIOCGSERIAL); nothing when refused.
    virtual std::optional<int> serialFlags(int fd) = 0;
    // Sets them (TIOCSSERIAL); false when the driver refuses.
    virtual bool setSerialFlags(int fd, int flags) = 0;
};

// The latency_timer attribute of the adapter behind `device`; empty for a path that is not there.
std::string latencyTimerPath(const std::string& device);

// The Linux driver: sysfs below /sys/class/tty/NAME/device/ and the serial ioctls.
std::shared_ptr<SerialLatencyDriver> systemSerialLatencyDriver();

// What opening a port did to its adapter's timer, so that closing puts back exactly that.
struct LatencyChange {
    enum class How { Nothing, Attribute, Flag };
    How how = How::Nothing;
    std::string device;
    unsigned previousTimer = 0;    // How::Attribute: the value written back
    int previousFlags = 0;         // How::Flag: the flags set back
    std::optional<unsigned> timer; // the timer in force while the port is open
};

// Asks for the shortest timer when a serial port opens on an adapter that has one, puts back
// what was there when it closes, and says once per device, to `notice`, when neither the
// attribute nor the flag was allowed: what the timer is and how an administrator lowers it.
// One object serves every channel a factory makes.
class AdapterLatency {
public:
    using Notice = std::function<void(const std::string&)>;

    explicit AdapterLatency(
        std::shared_ptr<SerialLatencyDriver> driver = systemSerialLatencyDriver(),
        Notice notice = {});

    // `fd` is the open port of `device`. The port stays usable whatever the answer.
    LatencyChange lower(int fd, const std::string& device);
    void restore(int fd, const LatencyChange& change);

    SerialLatencyDriver& driver() { return *driver_; }

private:
    std::shared_ptr<SerialLatencyDriver> driver_;
    Notice notice_;
    std::mutex mutex_;
    std::set<std::string> told_;
};

// How an administrator lowers the timer of `device` (and of every such adapter).
std::string latencyAdminAdvice(std::string_view device);
// The sentences for a timer of `ms` on `device` that this user could not lower.
std::string latencyAdvice(std::string_view device, unsigned ms);

// Where the Debian package puts the example udev rule that lowers every such timer.
inline constexpr const char* kLatencyRuleExample =
    "/usr/share/doc/download-utility/examples/60-download-utility-usb-serial-latency.rules";

} // namespace dlu
