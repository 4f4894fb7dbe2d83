#include "comm/channels/AdapterLatency.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

namespace dlu {

static_assert(SerialLatencyDriver::kLowLatencyFlag == ASYNC_LOW_LATENCY);

namespace {

// The tty's name ("ttyUSB0") of a device path, following links such as /dev/serial/by-id/.
std::string ttyName(const std::string& device) {
    char resolved[PATH_MAX];
    if (::realpath(device.c_str(), resolved) == nullptr) {
        return {};
    }
    const std::string name = std::filesystem::path(resolved).filename().string();
    return name == "." || name == ".." ? std::string() : name;
}

class LinuxLatencyDriver final : public SerialLatencyDriver {
public:
    std::optional<unsigned> latencyTimer(const std::string& device) override {
        const std::string path = latencyTimerPath(device);
        if (path.empty()) {
            return std::nullopt;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            return std::nullopt;
        }
        char text[16] = {};
        const ssize_t n = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        if (n <= 0) {
            return std::nullopt;
        }
        char* end = nullptr;
        const unsigned long ms = std::strtoul(text, &end, 10);
        if (end == text || ms > 255) {
            return std::nullopt;
        }
        return static_cast<unsigned>(ms);
    }

    bool setLatencyTimer(const std::string& device, unsigned ms) override {
        const std::string path = latencyTimerPath(device);
        if (path.empty()) {
            return false;
        }
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            return false;
        }
        const std::string text = std::to_string(ms) + "\n";
        const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(fd);
        return ok;
    }

    std::optional<int> serialFlags(int fd) override {
        serial_struct info{};
        if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &info) != 0) {
            return std::nullopt;
        }
        return info.flags;
    }

    bool setSerialFlags(int fd, int flags) override {
        serial_struct info{};
        if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &info) != 0) {
            return false;
        }
        info.flags = flags;
        return ::ioctl(fd, TIOCSSERIAL, &info) == 0;
    }
};

} // namespace

std::string latencyTimerPath(const std::string& device) {
    const std::string name = ttyName(device);
    return name.empty() ? std::string() : "/sys/class/tty/" + name + "/device/latency_timer";
}

std::shared_ptr<SerialLatencyDriver> systemSerialLatencyDriver() {
    return std::make_shared<LinuxLatencyDriver>();
}

AdapterLatency::AdapterLatency(std::shared_ptr<SerialLatencyDriver> driver, Notice notice)
    : driver_(std::move(driver)), notice_(std::move(notice)) {}

LatencyChange AdapterLatency::lower(int fd, const std::string& device) {
    LatencyChange change;
    change.device = device;
    const std::optional<unsigned> timer = driver_->latencyTimer(device);
    change.timer = timer;
    if (!timer || *timer <= 1) {
        return change; // no adapter timer, or already as short as it goes
    }
    // The attribute first: it takes back any value, where clearing the flag makes the drivers
    // choose their default rather than what was there.
    if (driver_->setLatencyTimer(device, 1)) {
        change.how = LatencyChange::How::Attribute;
        change.previousTimer = *timer;
        change.timer = driver_->latencyTimer(device);
        return change;
    }
    if (const std::optional<int> flags = driver_->serialFlags(fd);
        flags && driver_->setSerialFlags(fd, *flags | SerialLatencyDriver::kLowLatencyFlag)) {
        const std::optional<unsigned> now = driver_->latencyTimer(device);
        if (now && *now < *timer) {
            change.how = LatencyChange::How::Flag;
            change.previousFlags = *flags;
            change.timer = now;
            return change;
        }
        // Taken but without effect: leave the flags as they were.
        driver_->setSerialFlags(fd, *flags);
    }
    if (notice_) {
        const std::lock_guard lock(mutex_);
        if (told_.insert(device).second) {
            notice_(latencyAdvice(device, *timer));
        }
    }
    return change;
}

void AdapterLatency::restore(int fd, const LatencyChange& change) {
    switch (change.how) {
    case LatencyChange::How::Nothing:
        break;
    case LatencyChange::How::Attribute:
        driver_->setLatencyTimer(change.device, change.previousTimer);
        break;
    case LatencyChange::How::Flag:
        driver_->setSerialFlags(fd, change.previousFlags);
        break;
    }
}

std::string latencyAdminAdvice(std::string_view device) {
    std::string name = ttyName(std::string(device));
    if (name.empty()) {
        name = std::filesystem::path(device).filename().string();
    }
    return std::string("An administrator sets it to 1 ms for every such adapter with a udev rule "
                       "(example: ") +
           kLatencyRuleExample + "), or for this one until it is unplugged with: echo 1 > " +
           "/sys/bus/usb-serial/devices/" + name + "/latency_timer";
}

std::string latencyAdvice(std::string_view device, unsigned ms) {
    return std::string(device) + " is a USB-serial adapter that holds what it receives up to " +
           std::to_string(ms) +
           " ms (its latency timer), and its driver does not let this user lower it: each "
           "answer of the PLC can wait that long. " +
           latencyAdminAdvice(device);
}

} // namespace dlu
