#include "comm/ConnectionDisplay.h"
#include "comm/CommSet.h"
#include "common/StringTable.h"

#include <gtest/gtest.h>

#include <functional>

namespace dlu {
namespace {

TEST(ConnectionDisplay, ShowsTypeAndPort) {
    using L = Language;
    struct Case {
        std::function<void(CommSet&)> set;
        Language language;
        const char* expected;
    };
    const Case cases[] = {
        {[](CommSet& r) { r.nConType = kConSerial, r.nRS232port = 0; }, L::English,
         "Connection :  [ Serial Port ]  / Port : [ COM  1 ]"},
        {[](CommSet& r) { r.nConType = kConSerial, r.nRS232port = 11; }, L::English,
         "Connection :  [ Serial Port ]  / Port : [ COM 12 ]"},
        {[](CommSet& r) { r.nConType = kConDialUp, r.nDIALport = 0, r.nRS232port = 7; }, L::English,
         "Connection :  [ Dial-up Modem ]  / Port : [ COM1 ]"},
        {[](CommSet& r) { r.nConType = kConLeasedLine, r.nLINEport = 2; }, L::Korean,
         "접속 방식 :  [ 전용선 모뎀 ]  / 통신포트 : [ COM3 ]"},
        {[](CommSet& r) { r.nConType = kConEthernet, r.nETHERNETip = 0xC0A8000AU; }, L::English,
         "Connection :  [ Ethernet ]  / IP Address : [ 192.168.  0. 10 ]"},
        {[](CommSet& r) { r.nConType = kConSimulator, r.nSIMULATORip = 0x0A000105U; }, L::Korean,
         "접속 방식 :  [ PLC Simulator ]  / IP 주소 : [  10.  0.  1.  5 ]"},
        {[](CommSet& r) { r.nConType = kConUsb, r.nUSBto = 3, r.nUSBretry = 2; }, L::English,
         "Connection :  [ USB port ]  / Time Out : [ 3 ] / Retry : [ 2 ]"},
        {[](CommSet& r) { r.nConType = kConNone; }, L::English, "Connection :  [  ]  / "},
    };
    for (const Case& c : cases) {
        CommSet record;
        record.setDefaults();
        record.nSIMULATORip = 0x7F000001U; // never shown for Ethernet
        c.set(record);
        EXPECT_EQ(connectionDisplayText(record, Messages(c.language)), c.expected);
    }
}

} // namespace
} // namespace dlu
