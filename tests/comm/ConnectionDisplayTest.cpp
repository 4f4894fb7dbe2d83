#include "comm/ConnectionDisplay.h"
#include "comm/CommSet.h"
#include "common/StringTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace dlu {
namespace {

struct DisplayCase {
    const char* name;
    std::function<void(CommSet&)> set;
    Language language;
    const char* expected;
};

void PrintTo(const DisplayCase& c, std::ostream* os) { *os << c.name; }

class ConnectionDisplay : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(ConnectionDisplay, ShowsTypeAndPort) {
    const auto& c = GetParam();
    CommSet record;
    record.setDefaults();
    c.set(record);
    EXPECT_EQ(connectionDisplayText(record, Messages(c.language)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ConnectionDisplay,
    ::testing::Values(
        DisplayCase{"serial0",
                    [](CommSet& r) {
                        r.nConType = kConSerial;
                        r.nRS232port = 0;
                    },
                    Language::English, "Connection :  [ Serial Port ]  / Port : [ COM  1 ]"},
        DisplayCase{"serial11",
                    [](CommSet& r) {
                        r.nConType = kConSerial;
                        r.nRS232port = 11;
                    },
                    Language::English, "Connection :  [ Serial Port ]  / Port : [ COM 12 ]"},
        DisplayCase{"dialup0",
                    [](CommSet& r) {
                        r.nConType = kConDialUp;
                        r.nDIALport = 0;
                        r.nRS232port = 7;
                    },
                    Language::English, "Connection :  [ Dial-up Modem ]  / Port : [ COM1 ]"},
        DisplayCase{"leased2",
                    [](CommSet& r) {
                        r.nConType = kConLeasedLine;
                        r.nLINEport = 2;
                    },
                    Language::Korean, "접속 방식 :  [ 전용선 모뎀 ]  / 통신포트 : [ COM3 ]"},
        DisplayCase{"ethernet",
                    [](CommSet& r) {
                        r.nConType = kConEthernet;
                        r.nETHERNETip = 0xC0A8000AU; // 192.168.0.10
                        r.nSIMULATORip = 0x7F000001U;
                    },
                    Language::English,
                    "Connection :  [ Ethernet ]  / IP Address : [ 192.168.  0. 10 ]"},
        DisplayCase{"simulator",
                    [](CommSet& r) {
                        r.nConType = kConSimulator;
                        r.nSIMULATORip = 0x7F000001U; // 127.0.0.1
                    },
                    Language::Korean,
                    "접속 방식 :  [ PLC Simulator ]  / IP 주소 : [ 127.  0.  0.  1 ]"},
        DisplayCase{"usb",
                    [](CommSet& r) {
                        r.nConType = kConUsb;
                        r.nUSBto = 3;
                        r.nUSBretry = 2;
                    },
                    Language::English,
                    "Connection :  [ USB port ]  / Time Out : [ 3 ] / Retry : [ 2 ]"},
        DisplayCase{"none", [](CommSet& r) { r.nConType = kConNone; }, Language::English,
                    "Connection :  [  ]  / "}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace dlu
