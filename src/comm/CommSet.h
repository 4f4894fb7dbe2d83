#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dlu {

class SettingsStore;

// Connection type ids, the values of CommSet::nConType. Any id above kConUsb means "no
// connection type" (the record is set to kConNone when the program ends).
enum ConnectionType : std::uint8_t {
    kConSerial = 0,
    kConDialUp = 1,
    kConLeasedLine = 2, // can be configured; connecting with it is refused
    kConEthernet = 3,
    kConSimulator = 4,
    kConUsb = 5,
    kConNone = 255,
};

constexpr bool isConnectionType(std::uint8_t id) { return id <= kConUsb; }

// Baud rates of the serial, dial-up and leased-line baud index.
inline constexpr std::array<std::uint32_t, 9> kBaudRates = {300,  600,   1200,  2400,  4800,
                                                            9600, 19200, 38400, 115200};

// Baud rate of an index; nothing for an index outside the table.
constexpr std::optional<std::uint32_t> baudRateOfIndex(std::uint8_t index) {
    if (index >= kBaudRates.size()) {
        return std::nullopt;
    }
    return kBaudRates[index];
}

// What the record gives the protocol object and the channel for one connection type. An
// empty value means "leave it as it is": the leased line keeps attempt count and time-out,
// USB keeps the station number, and a type above 5 changes nothing at all.
struct AppliedSettings {
    std::optional<std::uint32_t> attemptCount;
    std::optional<std::chrono::milliseconds> timeout;
    std::optional<std::uint8_t> stationNumber;
};

// The connection settings of all six connection types, kept under section "CommSet" of the
// current settings profile. Field names are the stored names without the "CommSet." prefix.
// A new record is all zero; load() fills it from the store.
class CommSet {
public:
    static constexpr std::string_view kSection = "CommSet";
    // 1 once the record has been saved; without it the defaults apply.
    static constexpr std::string_view kFlagKey = "Flag";
    // The modem takes at most this many characters of the initialisation command and of the
    // dial string.
    static constexpr std::size_t kModemCommandMax = 19;
    static constexpr std::uint8_t kStationNotUsed = 0xFF;

    std::uint8_t nConTypeOld = 0; // never set by the program, saved as it is
    std::uint8_t nConType = 0;
    std::uint8_t nRS232port = 0;
    std::uint8_t nRS232bps = 0;
    std::uint16_t nRS232to = 0; // seconds
    std::uint8_t nRS232retry = 0;
    std::string strDIALcallNo;
    std::string strDIALexitNo; // only its first character is dialled
    std::string strDIALinitCmd;
    std::uint8_t nLINEwireNo = 0;  // 0 "2 Line", 1 "4 Line"
    std::uint32_t nETHERNETip = 0; // first octet in the high byte; 0 = use the domain name
    std::uint8_t nDIALport = 0;
    std::uint8_t nDIALbps = 0;
    std::uint16_t nDIALto = 0;
    std::uint8_t nDIALretry = 0;
    std::uint8_t nLINEport = 0;
    std::uint8_t nLINEbps = 0;
    std::uint16_t nLINEto = 0;
    std::uint8_t nLINEretry = 0;
    std::uint16_t nETHERNETto = 0;
    std::uint8_t nETHERNETretry = 0;
    std::uint8_t nRS232station = 0; // 255 = station not used
    std::uint8_t nDIALstation = 0;
    std::uint8_t nLINEstation = 0;
    std::uint8_t nRS232RtsCts = 0;
    std::uint8_t nDIALRtsCts = 0;
    std::uint8_t nLINERtsCts = 0;
    std::uint16_t nUSBto = 0;
    std::uint8_t nUSBretry = 0;
    std::string strETHERNETdomain;
    std::uint16_t wETHERNETSocket = 0;
    std::uint8_t nTxDelay = 0; // 0 to 5: index x 100 ms before each download block
    std::uint8_t bETHERNETuse = 0;
    std::uint8_t nETHERNETstation = 0;
    std::uint32_t nSIMULATORip = 0;
    std::uint16_t nSIMULATORto = 0;
    std::uint8_t nSIMULATORretry = 0;
    std::string strSIMULATORdomain;
    std::uint16_t wSIMULATORSocket = 0;
    std::uint8_t bSIMULATORuse = 0;
    std::uint8_t nSIMULATORstation = 0;
    // The serial port's device path ("/dev/ttyUSB0"), kept beside its index in the sorted
    // port list, which points at another port once an adapter is plugged in or out. Empty in
    // a record saved before it was kept: then the index is all there is.
    std::string strRS232path;

    // Sets every field to its default, except the Ethernet and simulator station switches and
    // numbers, which keep their values.
    void setDefaults();

    // Defaults first; when "Flag" is 0 or missing that is all. Otherwise every key is read: a
    // missing number reads 0 (a missing connection type 5), a missing text reads empty, and a
    // stored number that does not fit its field reads like a missing one.
    void load(SettingsStore& store);

    // Takes the connection type of `edited` and the fields of that type only (the other types
    // keep their values), then writes the whole record and, last, "Flag" = 1.
    void saveForType(const CommSet& edited, SettingsStore& store);

    // Writes every key, then "Flag" = 1.
    void save(SettingsStore& store) const;

    // Attempt count, receive time-out and station number of the current type, or of `type`.
    AppliedSettings settingsToApply() const { return settingsToApply(nConType); }
    AppliedSettings settingsToApply(std::uint8_t type) const;

    // The modem's dial string: the first character of the exit number and "," when there is
    // an exit number, then the call number; at most kModemCommandMax characters.
    std::string dialString() const;
    // The initialisation command cut to kModemCommandMax characters.
    std::string initCommand() const;

    bool operator==(const CommSet&) const = default;
};

} // namespace dlu
