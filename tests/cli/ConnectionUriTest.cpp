#include "cli/ConnectionUri.h"
#include "cli/FileFrameTrace.h"
#include "cli/StatusCommand.h"

#include <gtest/gtest.h>

namespace dlu {
namespace {

ConnectionDescription parsed(const char* text) {
    std::string error;
    const auto spec = ConnectionUri::parse(text, error);
    EXPECT_TRUE(spec.has_value()) << text << ": " << error;
    return spec.value_or(ConnectionDescription{});
}

// The settings record the connection gives the session.
CommSet applied(const char* text) { return parsed(text).toCommSet(); }

std::string deviceOf(const char* text) {
    const ConnectionDescription spec = parsed(text);
    if (const auto* serial = std::get_if<SerialLink>(&spec.link)) {
        return serial->line.device;
    }
    if (const auto* dial = std::get_if<DialUpLink>(&spec.link)) {
        return dial->line.device;
    }
    const auto* usb = std::get_if<UsbLink>(&spec.link);
    return usb ? usb->device : "(none)";
}

TEST(ConnectionUri, NetworkConnections) {
    auto s = applied("tcp://192.168.0.10");
    EXPECT_EQ(s.nConType, kConEthernet);
    EXPECT_EQ(s.nETHERNETip, 0xC0A8000Au);
    EXPECT_EQ(s.wETHERNETSocket, 10266);
    EXPECT_EQ(s.bETHERNETuse, 0);

    s = applied("tcp://plc.example:2000?station=7");
    EXPECT_EQ(s.nETHERNETip, 0u) << "a host name is looked up when connecting";
    EXPECT_EQ(s.strETHERNETdomain, "plc.example");
    EXPECT_EQ(s.wETHERNETSocket, 2000);
    EXPECT_EQ(s.bETHERNETuse, 1);
    EXPECT_EQ(s.nETHERNETstation, 7);

    s = applied("sim://127.0.0.1");
    EXPECT_EQ(s.nConType, kConSimulator);
    EXPECT_EQ(s.nSIMULATORip, 0x7F000001u);
    EXPECT_EQ(s.wSIMULATORSocket, 10523);
    EXPECT_EQ(s.nETHERNETip, 0u) << "other types keep their fields";
}

TEST(ConnectionUri, SerialLines) {
    auto s = applied("serial:/dev/ttyUSB0?baud=115200&station=3&rtscts=1");
    EXPECT_EQ(s.nConType, kConSerial);
    EXPECT_EQ(s.nRS232port, 0);
    EXPECT_EQ(deviceOf("serial:/dev/ttyUSB0?baud=115200"), "/dev/ttyUSB0");
    EXPECT_EQ(baudRateOfIndex(s.nRS232bps), 115200u);
    EXPECT_EQ(s.nRS232station, 3);
    EXPECT_EQ(s.nRS232RtsCts, 1);

    s = applied("serial:/dev/pts/4");
    EXPECT_EQ(baudRateOfIndex(s.nRS232bps), 38400u) << "the default rate stays";
    EXPECT_EQ(s.nRS232station, 255);

    s = applied("dialup:/dev/ttyS0?number=1234&exit=9&init=AT%26F&baud=9600");
    EXPECT_EQ(s.nConType, kConDialUp);
    EXPECT_EQ(s.dialString(), "9,1234");
    EXPECT_EQ(s.strDIALinitCmd, "AT%26F");
    EXPECT_EQ(baudRateOfIndex(s.nDIALbps), 9600u);

    EXPECT_EQ(deviceOf("dialup:/dev/ttyS0?number=1"), "/dev/ttyS0");

    EXPECT_EQ(applied("usb").nConType, kConUsb);
    EXPECT_EQ(deviceOf("usb"), "");
    EXPECT_EQ(applied("usb:/dev/ttyACM0").nConType, kConUsb);
    EXPECT_EQ(deviceOf("usb:/dev/ttyACM0"), "/dev/ttyACM0");
    EXPECT_EQ(applied("embedded?identity=A-01").nConType, kConSimulator);
    const ConnectionDescription embedded = parsed("embedded?identity=A-01");
    ASSERT_TRUE(std::holds_alternative<EmbeddedLink>(embedded.link));
    EXPECT_EQ(std::get<EmbeddedLink>(embedded.link).options.at("identity"), "A-01");
}

TEST(ConnectionUri, BadConnectionsSayWhy) {
    const char* bad[] = {
        "",
        "ftp://x",
        "tcp://",
        "tcp://host:0",
        "tcp://host:70000",
        "sim://:5",
        "serial:",
        "dialup:/dev/ttyS0",
        "serial:/dev/x?baud",
        "serial:/dev/x?&",
        "embeddedx",
        "tcp://h?=1",
        "serial:/dev/x?baud=12345",
        "tcp://h?station=255",
        "serial:/dev/x?station=-1",
    };
    for (const char* text : bad) {
        std::string error;
        EXPECT_FALSE(ConnectionUri::parse(text, error).has_value()) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(ConnectionUri, DottedQuads) {
    EXPECT_EQ(ConnectionUri::ipv4("10.0.0.1"), 0x0A000001u);
    EXPECT_EQ(ConnectionUri::ipv4("255.255.255.255"), 0xFFFFFFFFu);
    for (const char* no : {"10.0.0", "10.0.0.256", "a.b.c.d", "1.2.3.4.5", "", "1..2.3"}) {
        EXPECT_FALSE(ConnectionUri::ipv4(no).has_value()) << no;
    }
}

TEST(CliTexts, ModeNamesAndTraceLines) {
    EXPECT_EQ(cpuModeName(0x82), "REMOTE STOP");
    EXPECT_EQ(cpuModeName(0x01), "LOCAL RUN");
    EXPECT_EQ(cpuModeName(0x84), "REMOTE PAUSE");
    EXPECT_EQ(cpuModeName(0x03), "");
    EXPECT_EQ(cpuModeName(0x00), "");
    const std::uint8_t frame[] = {0x05, 0x64, 0xAB};
    EXPECT_EQ(FileFrameTrace::describe(FrameDirection::Sent, frame), ">> 05 64 AB");
    EXPECT_EQ(FileFrameTrace::describe(FrameDirection::Received, {}), "<<");
}

} // namespace
} // namespace dlu
