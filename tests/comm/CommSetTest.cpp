#include "comm/CommSet.h"
#include "comm/ConnectionDisplay.h"
#include "comm/ConnectionDescription.h"
#include "comm/SerialPortOrder.h"
#include "comm/SetupPageDefaults.h"
#include "common/StringTable.h"

#include "support/MemorySettingsStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace dlu {
namespace {

using namespace std::chrono_literals;
using test::MemorySettingsStore;

constexpr std::string_view kProfile = "Downloader";
constexpr std::string_view kSection = "CommSet";

MemorySettingsStore storeOnProfile() {
    MemorySettingsStore store;
    store.selectProfile(kProfile);
    return store;
}

TEST(CommSet, LoadWithoutFlagGivesTheDefaults) {
    for (const int flag : {-1, 0}) { // -1: no "Flag" stored at all
        MemorySettingsStore store = storeOnProfile();
        if (flag >= 0) {
            store.seed(kProfile, kSection, "Flag", flag);
        }
        // Stored values are not read while the record was never saved.
        store.seed(kProfile, kSection, "CommSet.nRS232bps", 2);
        CommSet s;
        s.bETHERNETuse = 1;
        s.nETHERNETstation = 44;
        s.bSIMULATORuse = 1;
        s.nSIMULATORstation = 45;
        s.nRS232retry = 99;
        s.load(store);

        EXPECT_EQ(s.nConType, kConUsb) << flag;
        EXPECT_EQ(s.nRS232bps, 7) << flag;
        EXPECT_EQ(baudRateOfIndex(s.nRS232bps), 38400u);
        EXPECT_EQ(baudRateOfIndex(s.nDIALbps), 9600u);
        EXPECT_EQ(s.nRS232retry, 2);
        EXPECT_EQ(s.nRS232to, 2);
        EXPECT_EQ(s.nUSBto, 2);
        EXPECT_EQ(s.nRS232station, 255);
        EXPECT_EQ(s.nLINEstation, 255);
        EXPECT_EQ(s.wETHERNETSocket, 10266);
        EXPECT_EQ(s.wSIMULATORSocket, 10523);
        EXPECT_EQ(s.strDIALinitCmd, "ATZ");
        EXPECT_EQ(s.nETHERNETip, 0u);
        EXPECT_EQ(s.nTxDelay, 0);
        // The station switches and numbers of Ethernet and simulator are not reset.
        EXPECT_EQ(s.bETHERNETuse, 1);
        EXPECT_EQ(s.nETHERNETstation, 44);
        EXPECT_EQ(s.bSIMULATORuse, 1);
        EXPECT_EQ(s.nSIMULATORstation, 45);
        EXPECT_EQ(store.writeCount(), 0) << "loading writes nothing";
    }
}

TEST(CommSet, LoadWithFlagReadsMissingKeysAsZeroAndTheTypeAsUsb) {
    MemorySettingsStore store = storeOnProfile();
    store.seed(kProfile, kSection, "Flag", 1);
    store.seed(kProfile, kSection, "CommSet.nRS232bps", 3);
    store.seed(kProfile, kSection, "CommSet.strDIALcallNo", std::string("5551234"));
    store.seed(kProfile, kSection, "CommSet.nETHERNETip", static_cast<int>(0xC0A8010AU));
    CommSet s;
    s.nETHERNETstation = 9; // read with the rest, so a missing key clears it
    s.load(store);
    EXPECT_EQ(s.nConType, kConUsb);
    EXPECT_EQ(s.nRS232bps, 3);
    EXPECT_EQ(s.strDIALcallNo, "5551234");
    EXPECT_EQ(s.nETHERNETip, 0xC0A8010AU);
    EXPECT_EQ(s.nRS232retry, 0) << "missing reads 0, not the default 2";
    EXPECT_EQ(s.nRS232station, 0) << "missing reads 0, not the default 255";
    EXPECT_EQ(s.wETHERNETSocket, 0);
    EXPECT_EQ(s.strDIALinitCmd, "") << "missing text reads empty, not ATZ";
    EXPECT_EQ(s.nETHERNETstation, 0);
}

TEST(CommSet, StoredNumbersThatDoNotFitReadAsMissing) {
    struct Case {
        const char* key;
        int stored;
        int expected;
    };
    const Case cases[] = {
        {"CommSet.nRS232bps", 256, 0},
        {"CommSet.nRS232bps", -1, 0},
        {"CommSet.nConType", 300, kConUsb},
        {"CommSet.nConType", 7, 7}, // a type id above 5 is a valid "none"
        {"CommSet.wETHERNETSocket", 65536, 0},
        {"CommSet.wETHERNETSocket", 65535, 65535},
    };
    for (const Case& c : cases) {
        MemorySettingsStore store = storeOnProfile();
        store.seed(kProfile, kSection, "Flag", 1);
        store.seed(kProfile, kSection, c.key, c.stored);
        CommSet s;
        s.load(store);
        const int got = std::string_view(c.key) == "CommSet.nRS232bps"  ? s.nRS232bps
                        : std::string_view(c.key) == "CommSet.nConType" ? s.nConType
                                                                        : s.wETHERNETSocket;
        EXPECT_EQ(got, c.expected) << c.key << " = " << c.stored;
    }
}

TEST(CommSet, SavingEachTypeTakesOnlyThatPage) {
    struct Case {
        std::uint8_t type;
        bool serial, dial, line, ether, sim, usb, txDelay;
    };
    const Case cases[] = {
        {kConSerial, true, false, false, false, false, false, true},
        {kConDialUp, false, true, false, false, false, false, true},
        {kConLeasedLine, false, false, true, false, false, false, true},
        {kConEthernet, false, false, false, true, false, false, false},
        {kConSimulator, false, false, false, false, true, false, false},
        {kConUsb, false, false, false, false, false, true, false},
        {kConNone, false, false, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        MemorySettingsStore store = storeOnProfile();
        CommSet record;
        CommSet edited;
        edited.nConType = c.type;
        edited.nRS232retry = 11;
        edited.strDIALcallNo = "12";
        edited.nDIALRtsCts = 1;
        edited.nLINEwireNo = 1;
        edited.nLINEstation = 13;
        edited.wETHERNETSocket = 14;
        edited.nSIMULATORip = 15;
        edited.bSIMULATORuse = 1;
        edited.nUSBto = 16;
        edited.nTxDelay = 3;
        edited.nConTypeOld = 9; // belongs to no page
        record.saveForType(edited, store);
        EXPECT_EQ(record.nConType, c.type);
        EXPECT_EQ(record.nRS232retry == 11, c.serial) << int{c.type};
        EXPECT_EQ(record.strDIALcallNo == "12", c.dial) << int{c.type};
        EXPECT_EQ(record.nDIALRtsCts == 1, c.dial) << int{c.type};
        EXPECT_EQ(record.nLINEwireNo == 1, c.line) << int{c.type};
        EXPECT_EQ(record.nLINEstation == 13, c.line) << int{c.type};
        EXPECT_EQ(record.wETHERNETSocket == 14, c.ether) << int{c.type};
        EXPECT_EQ(record.nSIMULATORip == 15, c.sim) << int{c.type};
        EXPECT_EQ(record.bSIMULATORuse == 1, c.sim) << int{c.type};
        EXPECT_EQ(record.nUSBto == 16, c.usb) << int{c.type};
        EXPECT_EQ(record.nTxDelay == 3, c.txDelay) << int{c.type};
        EXPECT_EQ(record.nConTypeOld, 0);
    }
}

TEST(CommSet, SaveWritesEveryKeyOnceInTheSectionAndTheFlagLast) {
    MemorySettingsStore store;
    CommSet().save(store);
    ASSERT_EQ(store.written().size(), 43u); // 42 fields and "Flag"
    EXPECT_EQ(store.written().front(), "CommSet/CommSet.nConTypeOld");
    EXPECT_EQ(store.written().back(), "CommSet/Flag");
    std::vector<std::string> sorted = store.written();
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST(CommSet, AppliedSettingsByType) {
    CommSet s;
    s.nRS232retry = 1, s.nRS232to = 10, s.nRS232station = 21;
    s.nDIALretry = 2, s.nDIALto = 20, s.nDIALstation = 22;
    s.nLINEretry = 3, s.nLINEto = 30, s.nLINEstation = 23;
    s.nETHERNETretry = 4, s.nETHERNETto = 40, s.nETHERNETstation = 24;
    s.nSIMULATORretry = 5, s.nSIMULATORto = 50, s.nSIMULATORstation = 25;
    s.nUSBretry = 6, s.nUSBto = 300; // 300 s does not fit 16-bit milliseconds

    struct Case {
        std::uint8_t type;
        std::uint8_t ethernetUse, simulatorUse;
        AppliedSettings expected;
    };
    const Case cases[] = {
        {kConSerial, 0, 0, {1, 10000ms, 21}},
        {kConDialUp, 0, 0, {2, 20000ms, 22}},
        {kConLeasedLine, 0, 0, {std::nullopt, std::nullopt, 23}},
        {kConEthernet, 0, 0, {4, 40000ms, 0xFF}},
        {kConEthernet, 1, 0, {4, 40000ms, 24}},
        {kConEthernet, 2, 0, {4, 40000ms, 0xFF}}, // only 1 switches the station on
        {kConSimulator, 0, 0, {5, 50000ms, 0xFF}},
        {kConSimulator, 0, 1, {5, 50000ms, 25}},
        {kConUsb, 1, 1, {6, 300000ms, std::nullopt}},
        {6, 1, 1, {}},
        {kConNone, 1, 1, {}},
    };
    for (const Case& c : cases) {
        s.nConType = c.type;
        s.bETHERNETuse = c.ethernetUse;
        s.bSIMULATORuse = c.simulatorUse;
        const AppliedSettings got = s.settingsToApply();
        EXPECT_EQ(got.attemptCount, c.expected.attemptCount) << int{c.type};
        EXPECT_EQ(got.timeout, c.expected.timeout) << int{c.type};
        EXPECT_EQ(got.stationNumber, c.expected.stationNumber) << int{c.type};
    }
}

TEST(CommSet, DialStringAndInitCommand) {
    struct Case {
        const char* exitNo;
        const char* callNo;
        const char* dial;
    };
    const Case cases[] = {
        {"9", "1234", "9,1234"},
        {"", "1234", "1234"},
        {"90", "1234", "9,1234"}, // only the first character of the exit number
        {"0", "0123456789012345678", "0,01234567890123456"}, // 19 characters in all
        {"", "01234567890123456789", "0123456789012345678"},
        {"9", "", "9,"},
    };
    for (const Case& c : cases) {
        CommSet s;
        s.strDIALexitNo = c.exitNo;
        s.strDIALcallNo = c.callNo;
        EXPECT_EQ(s.dialString(), c.dial) << c.exitNo << " / " << c.callNo;
    }
    CommSet s;
    s.strDIALinitCmd = "AT&F&C1&D2S0=0X4V1E0";
    EXPECT_EQ(s.initCommand(), "AT&F&C1&D2S0=0X4V1E"); // 20 characters stored
    s.strDIALinitCmd = "ATZ";
    EXPECT_EQ(s.initCommand(), "ATZ");
}

TEST(SerialPortOrder, NumbersSortByValueWithinTheirName) {
    const std::vector<std::string> ports = {"COM3", "COM10", "COM1"};
    EXPECT_EQ(sortSerialPortNames(ports), (std::vector<std::string>{"COM1", "COM3", "COM10"}));
    const std::vector<std::string> unixNames = {"ttyUSB0", "ttyS10", "ttyACM1", "ttyS2", "ttyS"};
    EXPECT_EQ(sortSerialPortNames(unixNames),
              (std::vector<std::string>{"ttyACM1", "ttyS", "ttyS2", "ttyS10", "ttyUSB0"}));
}

// A saved record in which every field has a value of its own.
CommSet distinctRecord(std::uint8_t type) {
    CommSet s;
    s.nConTypeOld = 3, s.nConType = type, s.nTxDelay = 4;
    s.nRS232port = 1, s.nRS232bps = 2, s.nRS232to = 11, s.nRS232retry = 3, s.nRS232station = 21;
    s.nRS232RtsCts = 1;
    s.nDIALport = 2, s.nDIALbps = 3, s.nDIALto = 12, s.nDIALretry = 4, s.nDIALstation = 22;
    s.nDIALRtsCts = 1, s.strDIALcallNo = "5551234", s.strDIALexitNo = "0";
    s.strDIALinitCmd = "AT&F";
    s.nLINEport = 3, s.nLINEbps = 4, s.nLINEto = 13, s.nLINEretry = 5, s.nLINEstation = 23;
    s.nLINERtsCts = 1, s.nLINEwireNo = 1;
    s.nETHERNETip = 0x0A000001, s.strETHERNETdomain = "plc.lan", s.wETHERNETSocket = 2000;
    s.nETHERNETto = 14, s.nETHERNETretry = 6, s.bETHERNETuse = 1, s.nETHERNETstation = 24;
    s.nSIMULATORip = 0x7F000001, s.strSIMULATORdomain = "sim.lan", s.wSIMULATORSocket = 3000;
    s.nSIMULATORto = 15, s.nSIMULATORretry = 7, s.bSIMULATORuse = 0, s.nSIMULATORstation = 25;
    s.nUSBto = 16, s.nUSBretry = 8;
    return s;
}

// The Defaults button resets only the page of its type, to the page's own defaults (the serial
// pages get 1 s, not the 2 s of a fresh record), and leaves every other field alone.
TEST(CommSet, SetupPageDefaultsResetOnlyThatPage) {
    CommSet marked = distinctRecord(kConNone);
    marked.nSIMULATORip = 0x0A000002, marked.bSIMULATORuse = 1; // unlike the page's defaults
    CommSet serial = marked;
    serial.nRS232port = 0, serial.nRS232bps = 7, serial.nRS232to = 1, serial.nRS232retry = 2;
    serial.nRS232station = 255, serial.nRS232RtsCts = 0;
    CommSet dial = marked;
    dial.nDIALport = 0, dial.nDIALbps = 7, dial.nDIALto = 1, dial.nDIALretry = 2;
    dial.nDIALstation = 255, dial.nDIALRtsCts = 0, dial.strDIALinitCmd = "ATZ";
    dial.strDIALcallNo.clear();
    dial.strDIALexitNo.clear();
    CommSet line = marked;
    line.nLINEport = 0, line.nLINEbps = 7, line.nLINEto = 1, line.nLINEretry = 2;
    line.nLINEstation = 255, line.nLINERtsCts = 0, line.nLINEwireNo = 0;
    CommSet ether = marked;
    ether.nETHERNETto = 5, ether.nETHERNETretry = 2, ether.nETHERNETip = 0;
    ether.bETHERNETuse = 0, ether.nETHERNETstation = 0, ether.wETHERNETSocket = 10266;
    ether.strETHERNETdomain.clear();
    CommSet sim = marked;
    sim.nSIMULATORto = 5, sim.nSIMULATORretry = 2, sim.nSIMULATORip = 0x7F000001;
    sim.bSIMULATORuse = 0, sim.nSIMULATORstation = 0, sim.wSIMULATORSocket = 10523;
    sim.strSIMULATORdomain.clear();
    CommSet usb = marked;
    usb.nUSBto = 5, usb.nUSBretry = 2;

    const std::pair<std::uint8_t, const CommSet*> cases[] = {
        {kConSerial, &serial}, {kConDialUp, &dial}, {kConLeasedLine, &line}, {kConEthernet, &ether},
        {kConSimulator, &sim}, {kConUsb, &usb},     {kConNone, &marked},
    };
    for (const auto& [type, expected] : cases) {
        CommSet record = marked;
        resetSetupPage(record, type);
        EXPECT_EQ(record, *expected) << int{type};
    }
}

TEST(ConnectionDescription, DescribesTheRecordsTypeAndWritesItBack) {
    struct Case {
        std::uint8_t type;
        std::uint16_t timeout;
        std::uint8_t attempts;
        std::uint8_t station;
    };
    const Case cases[] = {
        {kConSerial, 11, 3, 21},   {kConDialUp, 12, 4, 22},    {kConLeasedLine, 13, 5, 23},
        {kConEthernet, 14, 6, 24}, {kConSimulator, 15, 7, 25}, {kConUsb, 16, 8, 0xFF},
        {kConNone, 2, 2, 0xFF},
    };
    CommSet defaults;
    defaults.setDefaults();
    for (const Case& c : cases) {
        const CommSet record = distinctRecord(c.type);
        const ConnectionDescription spec = ConnectionDescription::fromCommSet(record);
        EXPECT_EQ(spec.connectionType(), c.type);
        EXPECT_EQ(spec.timeoutSeconds, c.timeout) << int{c.type};
        EXPECT_EQ(spec.attempts, c.attempts) << int{c.type};
        EXPECT_EQ(spec.station, c.station) << int{c.type};
        EXPECT_EQ(spec.txDelay, 4);
        // Written over the record it came from, nothing changes.
        EXPECT_EQ(spec.toCommSet(record), record) << int{c.type};
        // Written over defaults, the fields of its type are the record's.
        MemorySettingsStore a = storeOnProfile(), b = storeOnProfile();
        CommSet fromRecord = defaults, fromSpec = defaults;
        fromRecord.saveForType(record, a);
        fromSpec.saveForType(spec.toCommSet(defaults), b);
        EXPECT_EQ(fromSpec, fromRecord) << int{c.type};
    }
    const auto dial =
        std::get<DialUpLink>(ConnectionDescription::fromCommSet(distinctRecord(1)).link);
    EXPECT_EQ(dial.line, (SerialLine{2, "", 3, true}));
    EXPECT_EQ(dial.callNumber, "5551234");
    EXPECT_EQ(dial.initCommand, "AT&F");
    const auto ether =
        std::get<EthernetLink>(ConnectionDescription::fromCommSet(distinctRecord(3)).link);
    EXPECT_EQ(ether.target, (NetworkTarget{0x0A000001, "plc.lan", 2000, true}));
}

TEST(ConnectionDescription, SerialDevicesAndTheStoredPortIndex) {
    const std::vector<std::string> ports = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"};
    CommSet record = distinctRecord(kConSerial);
    EXPECT_EQ(
        std::get<SerialLink>(ConnectionDescription::fromCommSet(record, ports).link).line.device,
        "/dev/ttyS1");
    record.nRS232port = 3; // a port that is gone: no device, the index stays
    const ConnectionDescription gone = ConnectionDescription::fromCommSet(record, ports);
    EXPECT_EQ(std::get<SerialLink>(gone.link).line, (SerialLine{3, "", 2, true}));
    EXPECT_EQ(gone.toCommSet(record, ports).nRS232port, 3);

    ConnectionDescription spec;
    spec.link = SerialLink{{0, "/dev/ttyUSB0", 7, false}};
    EXPECT_EQ(spec.toCommSet(record, ports).nRS232port, 2);
    EXPECT_EQ(spec.toCommSet(record).nRS232port, 0) << "without the list the index is kept";
    spec.link = DialUpLink{{1, "/dev/ttyACM5", 5, false}, "1", "", "ATZ"};
    EXPECT_EQ(spec.toCommSet(record, ports).nDIALport, 1) << "a device not in the list";

    spec.link = EmbeddedLink{{{"identity", "A-01"}}};
    spec.timeoutSeconds = 9;
    const CommSet embedded = spec.toCommSet();
    EXPECT_EQ(embedded.nConType, kConSimulator);
    EXPECT_EQ(embedded.nSIMULATORto, 9);
    EXPECT_EQ(embedded.bSIMULATORuse, 0);
}

// The serial port is kept by its path beside its index: once an adapter is plugged in or out,
// the index names another port, the path still the one set up. A record without the path
// (saved before it was kept) goes by its index as before.
TEST(ConnectionDescription, TheSerialPortPathSurvivesAChangeOfThePortList) {
    const std::vector<std::string> before = {"/dev/ttyS0", "/dev/ttyUSB0"};
    ConnectionDescription chosen;
    chosen.link = SerialLink{{0, "/dev/ttyUSB0", 7, false}};
    CommSet defaults;
    defaults.setDefaults();
    MemorySettingsStore store = storeOnProfile();
    CommSet saved = defaults;
    saved.saveForType(chosen.toCommSet(defaults, before), store);
    EXPECT_EQ(store.getInt(kSection, "CommSet.nRS232port", -1), 1) << "the stored index stays";
    EXPECT_EQ(store.getString(kSection, "CommSet.strRS232path", ""), "/dev/ttyUSB0");

    CommSet loaded;
    loaded.load(store);
    const Messages en(Language::English);
    EXPECT_TRUE(connectionDisplayText(loaded, en).ends_with("[ COM  2 ] ttyUSB0"))
        << connectionDisplayText(loaded, en);
    struct Case {
        const char* what;
        std::vector<std::string> ports;
    };
    const Case cases[] = {
        {"unchanged", before},
        {"an adapter plugged in sorts first", {"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0"}},
        {"the adapter unplugged, another in", {"/dev/ttyACM0", "/dev/ttyS0"}},
        {"no ports at all", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::get<SerialLink>(ConnectionDescription::fromCommSet(loaded, c.ports).link)
                      .line.device,
                  "/dev/ttyUSB0")
            << c.what;
    }

    CommSet old = loaded;
    old.strRS232path.clear();
    EXPECT_EQ(std::get<SerialLink>(ConnectionDescription::fromCommSet(old, cases[1].ports).link)
                  .line.device,
              "/dev/ttyS0")
        << "without a path the index decides";
    EXPECT_TRUE(connectionDisplayText(old, en).ends_with("[ COM  2 ]"));
}

} // namespace
} // namespace dlu
