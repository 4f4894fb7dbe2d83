#include "comm/CommSet.h"
#include "comm/channels/AdapterLatency.h"
#include "comm/channels/QtChannelFactory.h"
#include "comm/channels/QtDialUpChannel.h"
#include "comm/channels/QtSerialChannel.h"
#include "comm/channels/QtTcpChannel.h"
#include "comm/channels/QtUsbChannel.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dlu {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

constexpr std::uint32_t kLoopback = 0x7F000001;

// Reads what a descriptor receives within `wait`, at most `max` bytes.
std::string readFor(int fd, std::chrono::milliseconds wait, std::size_t max = 4096) {
    std::string got;
    const auto end = SteadyClock::now() + wait;
    while (got.size() < max) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - SteadyClock::now());
        if (left <= 0ms) {
            break;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char chunk[512];
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, max - got.size()));
        if (n <= 0) {
            break;
        }
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

void writeText(int fd, std::string_view text) {
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Reads `count` bytes as the protocol does: all that has come, at each call.
std::vector<std::uint8_t> readBytes(Channel& channel, std::size_t count,
                                    std::uint8_t* failure = nullptr) {
    Bytes got(count);
    std::size_t have = 0;
    while (have < count) {
        std::uint8_t status = kChannelOk;
        const std::size_t n = channel.readSome(std::span(got).subspan(have),
                                               std::chrono::milliseconds::max(), status);
        if (n == 0) {
            if (failure) {
                *failure = status;
            }
            break;
        }
        have += n;
    }
    got.resize(have);
    return got;
}

// Measures one read.
struct TimedRead {
    ChannelRead read;
    std::chrono::milliseconds took;
};

TimedRead timedRead(Channel& channel) {
    const auto start = SteadyClock::now();
    const ChannelRead r = channel.read();
    return {r, std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start)};
}

// --- TCP ---------------------------------------------------------------------------------

// A plain socket server on an ephemeral loopback port, serving one connection on its own
// thread with `serve`.
class LoopbackServer {
public:
    explicit LoopbackServer(std::function<void(int)> serve) : serve_(std::move(serve)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::listen(listener_, 1);
        thread_ = std::thread([this] {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd >= 0) {
                serve_(fd);
                ::close(fd);
            }
        });
    }
    ~LoopbackServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    std::uint16_t port() const { return port_; }

private:
    std::function<void(int)> serve_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// A loopback port nobody listens on.
std::uint16_t closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

TEST(QtTcpChannel, RoundTripOfAFrameAndALongAnswer) {
    LoopbackServer server([](int fd) {
        const std::string request = readFor(fd, 2000ms, 5);
        // The answer: the request reversed, then 300 bytes in one go.
        std::string answer(request.rbegin(), request.rend());
        for (int i = 0; i < 300; ++i) {
            answer += static_cast<char>(i);
        }
        writeText(fd, answer);
        readFor(fd, 2000ms); // until the client closes
    });
    QtTcpChannel channel;
    channel.setTimeout(2000ms);
    ASSERT_TRUE(channel.open(TcpOpenParams{server.port(), kLoopback}));
    const Bytes request = {0x05, 0x64, 0x74, 0x00, 0x81};
    ASSERT_TRUE(channel.write(request));
    EXPECT_EQ(readBytes(channel, 5), (Bytes{0x81, 0x00, 0x74, 0x64, 0x05}));
    const Bytes rest = readBytes(channel, 300);
    ASSERT_EQ(rest.size(), 300u);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        ASSERT_EQ(rest[i], static_cast<std::uint8_t>(i)) << i;
    }
    // The peer now stays quiet: a read times out after the configured time.
    channel.setTimeout(300ms);
    const TimedRead quiet = timedRead(channel);
    EXPECT_EQ(quiet.read.status, kChannelTimeout);
    EXPECT_GE(quiet.took, 250ms);
    EXPECT_LT(quiet.took, 2000ms);
    channel.close();
}

TEST(QtTcpChannel, PeerCloseIsALostLinkAfterTheLastByte) {
    LoopbackServer server([](int fd) { writeText(fd, "ab"); });
    QtTcpChannel channel;
    channel.setTimeout(5000ms);
    ASSERT_TRUE(channel.open(TcpOpenParams{server.port(), kLoopback}));
    std::uint8_t failure = 0;
    EXPECT_EQ(readBytes(channel, 3, &failure), (Bytes{'a', 'b'}));
    EXPECT_EQ(failure, kChannelLinkLost);
    EXPECT_EQ(channel.failureCause(),
              "the connection was closed by 127.0.0.1:" + std::to_string(server.port()));
    const TimedRead again = timedRead(channel);
    EXPECT_EQ(again.read.status, kChannelLinkLost);
    EXPECT_LT(again.took, 2000ms) << "a closed link does not wait for the time-out";
    EXPECT_FALSE(channel.write(Bytes{1}));
}

TEST(QtTcpChannel, RefusedOrUnaddressedConnectionsDoNotOpen) {
    QtTcpChannel channel;
    channel.setTimeout(500ms);
    EXPECT_EQ(channel.read().status, kChannelNotOpen);
    EXPECT_FALSE(channel.write(Bytes{1}));

    const std::uint16_t closed = closedPort();
    EXPECT_FALSE(channel.open(TcpOpenParams{closed, kLoopback}));
    EXPECT_EQ(channel.failureCause(), "connection refused by 127.0.0.1:" + std::to_string(closed));
    EXPECT_EQ(channel.read().status, kChannelLinkLost) << "refused: the network's failure";
    EXPECT_FALSE(channel.write(Bytes{1}));

    EXPECT_FALSE(channel.open(TcpOpenParams{10523, 0})) << "an unresolved name leaves 0";
    EXPECT_EQ(channel.read().status, kChannelPortMissing);
    EXPECT_FALSE(channel.open(SerialOpenParams{}));
    channel.close();
    EXPECT_EQ(channel.read().status, kChannelNotOpen);
}

TEST(QtChannelFactory, MakesAChannelPerTypeAndResolvesNames) {
    QtChannelFactory factory([] { return std::vector<SerialPortEntry>{}; });
    for (const std::uint8_t type : {kConSerial, kConDialUp, kConEthernet, kConSimulator, kConUsb}) {
        const auto channel = factory.create(type);
        ASSERT_NE(channel, nullptr) << int{type};
        EXPECT_EQ(channel->asDialUp() != nullptr, type == kConDialUp) << int{type};
    }
    EXPECT_EQ(factory.create(kConLeasedLine), nullptr);
    EXPECT_EQ(factory.create(kConNone), nullptr);
    EXPECT_EQ(factory.resolveHostName("127.0.0.1"), kLoopback);
    EXPECT_EQ(factory.resolveHostName("localhost"), kLoopback);
    EXPECT_EQ(factory.resolveHostName(""), 0u);
}

// --- serial line on a pseudo-terminal -----------------------------------------------------

// A pseudo-terminal pair: the channel opens the terminal side, the test plays the PLC (or
// the modem) on the master side.
class Pty {
public:
    Pty() {
        char name[128] = {};
        int slave = -1;
        if (::openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
            path_ = name;
            // The channel opens the terminal itself; keep ours from holding it.
            ::close(slave);
        }
    }
    ~Pty() { closeMaster(); }
    bool ok() const { return master_ >= 0 && !path_.empty(); }
    int master() const { return master_; }
    const std::string& path() const { return path_; }
    void closeMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }
    // The port list the channel sees: one ordinary port, then ours.
    SerialPortLister ports(bool usb = false) const {
        const QString location = QString::fromStdString(path_);
        return [location, usb] {
            return std::vector<SerialPortEntry>{
                {"ttyS0", "/dev/dlu-test-no-such-port", false},
                {"ttyUSB0", location, usb},
            };
        };
    }

private:
    int master_ = -1;
    std::string path_;
};

TEST(QtSerialChannel, RoundTripOnThePortOfTheIndexOrTheNamedDevice) {
    for (const bool named : {false, true}) {
        Pty pty;
        ASSERT_TRUE(pty.ok());
        // A named device is opened as it is, whatever the index and the list say.
        QtSerialChannel channel(named ? SerialPortLister{} : pty.ports());
        channel.setTimeout(2000ms);
        ASSERT_TRUE(channel.open(named ? SerialOpenParams{7, 7, false, pty.path()}
                                       : SerialOpenParams{1, 7, false}));
        ASSERT_TRUE(channel.write(Bytes{0x05, 0x64, 0x0D, 0x0A, 0x00, 0xFF}));
        // Raw line: no CR/LF translation, no echo.
        EXPECT_EQ(readFor(pty.master(), 1000ms, 6), std::string("\x05\x64\x0D\x0A\x00\xFF", 6));
        writeText(pty.master(), std::string("\x11\x0D\x0A\x00", 4));
        EXPECT_EQ(readBytes(channel, 4), (Bytes{0x11, 0x0D, 0x0A, 0x00}));
        channel.close();
        EXPECT_EQ(channel.read().status, kChannelNotOpen);
    }
}

// The driver of a USB-serial adapter as the link sees it: a latency timer, an attribute that
// may or may not be writable, serial flags that may or may not be taken. Records every call.
class FakeLatencyDriver final : public SerialLatencyDriver {
public:
    std::optional<unsigned> timer;
    bool attributeWritable = false;
    bool flagsTaken = false;
    bool flagLowers = true; // a taken low-latency flag sets the timer to 1 ms (16 when cleared)
    int flags = 0x40;
    std::vector<std::string> calls;

    std::optional<unsigned> latencyTimer(const std::string&) override {
        calls.push_back("timer?");
        return timer;
    }
    bool setLatencyTimer(const std::string&, unsigned ms) override {
        calls.push_back("timer=" + std::to_string(ms));
        if (attributeWritable) {
            timer = ms;
        }
        return attributeWritable;
    }
    std::optional<int> serialFlags(int fd) override {
        calls.push_back(fd >= 0 ? "flags?" : "flags? without a port");
        return flags;
    }
    bool setSerialFlags(int, int value) override {
        calls.push_back("flags=" + std::to_string(value));
        if (!flagsTaken) {
            return false;
        }
        flags = value;
        if (flagLowers) {
            timer = (value & kLowLatencyFlag) != 0 ? 1u : 16u;
        }
        return true;
    }
};

// Opening a serial or USB channel on an adapter asks for the shortest timer, the attribute
// first and then the low-latency flag, and closing puts back exactly what was changed. Where
// neither is allowed the port still opens and carries bytes, and the advice is given once for
// the device, however often it is opened.
TEST(QtSerialChannel, AsksAnAdapterForLowLatencyAndPutsItBack) {
    const std::string low = std::to_string(0x40 | SerialLatencyDriver::kLowLatencyFlag);
    struct Case {
        const char* what;
        std::optional<unsigned> timer;
        bool attribute, flags, flagLowers;
        std::vector<std::string> onOpen, onClose;
        std::optional<unsigned> whileOpen;
        bool advised;
    };
    // One case a line, as they read.
    // clang-format off
    const std::vector<Case> cases{
        {"attribute writable", 16, true, true, true, {"timer?", "timer=1", "timer?"},
         {"timer=16"}, 1, false},
        {"attribute refused, flag taken", 16, false, true, true,
         {"timer?", "timer=1", "flags?", "flags=" + low, "timer?"}, {"flags=64"}, 1, false},
        {"both refused", 16, false, false, true,
         {"timer?", "timer=1", "flags?", "flags=" + low}, {}, 16, true},
        {"flag taken without effect", 16, false, true, false,
         {"timer?", "timer=1", "flags?", "flags=" + low, "timer?", "flags=64"}, {}, 16, true},
        {"timer already 1 ms", 1, true, true, true, {"timer?"}, {}, 1, false},
        {"no latency timer", std::nullopt, true, true, true, {"timer?"}, {}, std::nullopt,
         false},
    };
    // clang-format on
    for (const auto& c : cases) {
        for (const bool usb : {false, true}) {
            Pty pty;
            ASSERT_TRUE(pty.ok());
            auto driver = std::make_shared<FakeLatencyDriver>();
            driver->timer = c.timer;
            driver->attributeWritable = c.attribute;
            driver->flagsTaken = c.flags;
            driver->flagLowers = c.flagLowers;
            std::vector<std::string> notices;
            auto latency = std::make_shared<AdapterLatency>(
                driver, [&notices](const std::string& text) { notices.push_back(text); });
            QtSerialChannel serial(pty.ports(), latency);
            QtUsbChannel usbChannel(pty.ports(true), latency);
            DeviceChannel& channel = usb ? static_cast<DeviceChannel&>(usbChannel) : serial;
            const auto timerOf = [&] {
                return usb ? usbChannel.latencyTimer() : serial.latencyTimer();
            };
            const std::string what = std::string(c.what) + (usb ? " (USB)" : " (serial)");
            for (int round = 0; round < 2; ++round) {
                driver->calls.clear();
                ASSERT_TRUE(usb ? channel.open(UsbOpenParams{})
                                : channel.open(SerialOpenParams{1, 7, false}))
                    << what;
                EXPECT_EQ(driver->calls, c.onOpen) << what;
                EXPECT_EQ(timerOf(), c.whileOpen) << what;
                channel.setTimeout(2000ms);
                ASSERT_TRUE(channel.write(Bytes{0x05, 0x74})) << what;
                EXPECT_EQ(readFor(pty.master(), 1000ms, 2), "\x05\x74") << what;
                driver->calls.clear();
                channel.close();
                EXPECT_EQ(driver->calls, c.onClose) << what;
                EXPECT_EQ(driver->timer, c.timer) << what << ": the timer as it was";
                EXPECT_EQ(driver->flags, 0x40) << what;
            }
            ASSERT_EQ(notices.size(), c.advised ? 1u : 0u) << what;
            if (c.advised) {
                EXPECT_NE(notices[0].find(pty.path() + " is a USB-serial adapter that holds "
                                                       "what it receives up to 16 ms"),
                          std::string::npos)
                    << notices[0];
                EXPECT_NE(notices[0].find(kLatencyRuleExample), std::string::npos);
                EXPECT_NE(notices[0].find("/latency_timer"), std::string::npos);
            }
        }
    }
}

TEST(QtSerialChannel, QuietLineTimesOutAndAClosedPeerIsALostLink) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialChannel channel(pty.ports());
    channel.setTimeout(300ms);
    ASSERT_TRUE(channel.open(SerialOpenParams{1, 5, true}));
    const TimedRead quiet = timedRead(channel);
    EXPECT_EQ(quiet.read.status, kChannelTimeout);
    EXPECT_GE(quiet.took, 250ms);
    EXPECT_LT(quiet.took, 2000ms);

    pty.closeMaster();
    EXPECT_EQ(channel.read().status, kChannelLinkLost);
}

TEST(QtSerialChannel, MissingPortsDoNotOpen) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    struct Case {
        SerialOpenParams params;
        const char* why;
        std::string cause; // the cause line the channel gives
    };
    const std::string missing = "/dev/dlu-test-no-such-port does not exist";
    const Case cases[] = {
        {{0, 7, false}, "the listed device does not exist", missing},
        {{2, 7, false}, "index beyond the port list", ""},
        {{1, 9, false}, "baud index beyond the table", ""},
        {{1, 7, false, "/dev/dlu-test-no-such-port"}, "the named device does not exist", missing},
        {{1, 9, false, pty.path()}, "named device, baud index beyond the table", ""},
    };
    for (const Case& c : cases) {
        QtSerialChannel channel(pty.ports());
        EXPECT_EQ(channel.read().status, kChannelNotOpen) << c.why;
        EXPECT_FALSE(channel.open(c.params)) << c.why;
        EXPECT_EQ(channel.failureCause(), c.cause) << c.why;
        EXPECT_EQ(channel.read().status, kChannelPortMissing) << c.why;
        EXPECT_FALSE(channel.write(Bytes{1})) << c.why;
    }
    QtSerialChannel channel(pty.ports());
    EXPECT_FALSE(channel.open(TcpOpenParams{1, 1}));
    QtDialUpChannel modem(pty.ports(), 10ms); // and a modem without its port dials nothing
    EXPECT_FALSE(modem.open(SerialOpenParams{0, 5, false}));
    EXPECT_FALSE(modem.dial("ATZ", "1"));
    EXPECT_FALSE(modem.hangUp());
    EXPECT_EQ(modem.read().status, kChannelPortMissing);
}

TEST(QtUsbChannel, OpensTheFirstPortWithAUsbVendor) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtUsbChannel usb(pty.ports(true));
    usb.setTimeout(1000ms);
    ASSERT_TRUE(usb.open(UsbOpenParams{}));
    ASSERT_TRUE(usb.write(Bytes{'u'}));
    EXPECT_EQ(readFor(pty.master(), 1000ms, 1), "u");

    QtUsbChannel none(pty.ports(false));
    EXPECT_FALSE(none.open(UsbOpenParams{}));
    EXPECT_EQ(none.read().status, kChannelPortMissing);

    usb.close(); // the port is opened exclusively
    QtUsbChannel named(pty.ports(false));
    ASSERT_TRUE(named.open(UsbOpenParams{pty.path()})) << "a named device needs no USB vendor";
}

// --- modem --------------------------------------------------------------------------------

// A Hayes modem on the master side of a pty: echoes commands, answers "OK" to every command
// but the ones it is told to refuse, answers ATD with `dialAnswer` and then carries data,
// echoing it back, until "+++" returns it to command mode.
class ScriptedModem {
public:
    // `lineFeedDelay`: the LF after the answer to ATD comes that much later than its CR.
    ScriptedModem(int fd, std::string dialAnswer, std::chrono::milliseconds lineFeedDelay = 0ms)
        : fd_(fd), dialAnswer_(std::move(dialAnswer)), lineFeedDelay_(lineFeedDelay) {
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedModem() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::string> commands() {
        std::lock_guard lock(mutex_);
        return commands_;
    }
    std::string refuse; // answered "ERROR"

private:
    void run() {
        std::string line;
        bool data = false;
        while (!stop_) {
            const std::string chunk = readFor(fd_, 20ms);
            if (chunk.empty()) {
                continue;
            }
            if (data) {
                if (chunk == "+++") {
                    data = false;
                    send("\r\nOK\r\n");
                } else {
                    send(chunk);
                }
                continue;
            }
            for (const char c : chunk) {
                if (c != '\r') {
                    line += c;
                    continue;
                }
                {
                    std::lock_guard lock(mutex_);
                    commands_.push_back(line);
                }
                send(line + "\r"); // echo
                if (line.rfind("ATD", 0) == 0) {
                    send("\r\n" + dialAnswer_ + "\r");
                    std::this_thread::sleep_for(lineFeedDelay_);
                    send("\n");
                    data = dialAnswer_.rfind("CONNECT", 0) == 0;
                } else {
                    send(line == refuse ? "\r\nERROR\r\n" : "\r\nOK\r\n");
                }
                line.clear();
            }
        }
    }
    void send(const std::string& text) {
        if (::write(fd_, text.data(), text.size()) < 0) {
            stop_ = true;
        }
    }

    int fd_;
    std::string dialAnswer_;
    std::chrono::milliseconds lineFeedDelay_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::thread thread_;
};

// Polls the call the way the dial-up display does, until an answer or `limit`.
bool pollUntilAnswer(DialUpChannel& modem, std::string& answer,
                     std::chrono::milliseconds limit = 3000ms) {
    const auto end = SteadyClock::now() + limit;
    while (SteadyClock::now() < end) {
        if (modem.pollCall(answer) || !answer.empty()) {
            return !answer.empty() && answer.rfind("CONNECT", 0) == 0;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// Every call reports the modem's answer; a connected one carries data until it is hung up.
TEST(QtDialUpChannel, DialsReportsTheAnswerCarriesDataAndHangsUp) {
    struct Case {
        std::string dialAnswer;
        std::string refuse; // the command the modem answers "ERROR"
        std::chrono::milliseconds lineFeedDelay;
    };
    const Case cases[] = {
        {"CONNECT 9600", "", 0ms},
        {"CONNECT 9600", "", 200ms}, // the LF ending the line comes after the poll saw the CR
        {"BUSY", "", 0ms},
        {"NO CARRIER", "", 0ms},
        {"CONNECT 9600", "AT&F", 0ms}, // the initialisation command is refused
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dialAnswer + " / " + c.refuse + " / " +
                     std::to_string(c.lineFeedDelay.count()));
        Pty pty;
        ASSERT_TRUE(pty.ok());
        QtDialUpChannel modem(pty.ports(), 50ms);
        modem.setTimeout(1000ms);
        ASSERT_TRUE(modem.open(SerialOpenParams{1, 5, false}));
        ScriptedModem peer(pty.master(), c.dialAnswer, c.lineFeedDelay);
        peer.refuse = c.refuse;

        std::string answer = "stale";
        EXPECT_FALSE(modem.pollCall(answer)) << "no call before dialling";
        EXPECT_EQ(answer, "");
        ASSERT_EQ(modem.dial("AT&F", "9,1234"), c.refuse.empty());
        if (!c.refuse.empty()) {
            EXPECT_EQ(peer.commands(), std::vector<std::string>{"AT&F"}) << "nothing dialled";
            continue;
        }
        const bool connects = c.dialAnswer.starts_with("CONNECT");
        EXPECT_EQ(pollUntilAnswer(modem, answer), connects);
        EXPECT_EQ(answer, c.dialAnswer);
        if (!connects) {
            continue;
        }
        EXPECT_TRUE(modem.pollCall(answer)) << "stays connected";

        // Data mode: the modem echoes what the PLC side gets.
        const Bytes frame = {0x05, 0x64, 0x0D, 0x0A, 0x4F, 0x4B};
        ASSERT_TRUE(modem.write(frame));
        EXPECT_EQ(readBytes(modem, frame.size()), frame)
            << "the line ends after CONNECT are not data; \"OK\" inside data is not an answer";

        EXPECT_TRUE(modem.hangUp());
        EXPECT_EQ(peer.commands(), (std::vector<std::string>{"AT&F", "ATD9,1234", "ATH"}));
        EXPECT_FALSE(modem.pollCall(answer));
    }
}

} // namespace
} // namespace dlu

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
