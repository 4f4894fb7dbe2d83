#include "comm/CommSet.h"

#include "common/SettingsStore.h"

#include <limits>
#include <type_traits>
#include <variant>

namespace dlu {

namespace {

using Member = std::variant<std::uint8_t CommSet::*, std::uint16_t CommSet::*,
                            std::uint32_t CommSet::*, std::string CommSet::*>;

// Bit set of the connection types whose setup page edits a field.
using TypeMask = std::uint8_t;
constexpr TypeMask bit(ConnectionType t) { return static_cast<TypeMask>(1U << t); }
constexpr TypeMask kSerialPages = bit(kConSerial) | bit(kConDialUp) | bit(kConLeasedLine);

struct Field {
    std::string_view key;
    Member member;
    std::int64_t defaultNumber;   // numbers
    std::string_view defaultText; // strings
    bool keptByDefaults;          // the defaults step leaves it alone
    std::int64_t whenMissing;     // value of a number missing from a saved record
    TypeMask pages;               // types that own the field when one type is saved
};

// Every key of the record, written once, in the order the record is saved.
// clang-format off
const Field kFields[] = {
    {"CommSet.nConTypeOld",        &CommSet::nConTypeOld,        0,     "",    false, 0, 0},
    {"CommSet.nConType",           &CommSet::nConType,           kConUsb, "",  false, kConUsb, 0},
    {"CommSet.nRS232port",         &CommSet::nRS232port,         0,     "",    false, 0, bit(kConSerial)},
    {"CommSet.nRS232bps",          &CommSet::nRS232bps,          7,     "",    false, 0, bit(kConSerial)},
    {"CommSet.nRS232to",           &CommSet::nRS232to,           2,     "",    false, 0, bit(kConSerial)},
    {"CommSet.nRS232retry",        &CommSet::nRS232retry,        2,     "",    false, 0, bit(kConSerial)},
    {"CommSet.strDIALcallNo",      &CommSet::strDIALcallNo,      0,     "",    false, 0, bit(kConDialUp)},
    {"CommSet.strDIALexitNo",      &CommSet::strDIALexitNo,      0,     "",    false, 0, bit(kConDialUp)},
    {"CommSet.strDIALinitCmd",     &CommSet::strDIALinitCmd,     0,     "ATZ", false, 0, bit(kConDialUp)},
    {"CommSet.nLINEwireNo",        &CommSet::nLINEwireNo,        0,     "",    false, 0, bit(kConLeasedLine)},
    {"CommSet.nETHERNETip",        &CommSet::nETHERNETip,        0,     "",    false, 0, bit(kConEthernet)},
    {"CommSet.nDIALport",          &CommSet::nDIALport,          0,     "",    false, 0, bit(kConDialUp)},
    {"CommSet.nDIALbps",           &CommSet::nDIALbps,           5,     "",    false, 0, bit(kConDialUp)},
    {"CommSet.nDIALto",            &CommSet::nDIALto,            2,     "",    false, 0, bit(kConDialUp)},
    {"CommSet.nDIALretry",         &CommSet::nDIALretry,         2,     "",    false, 0, bit(kConDialUp)},
    {"CommSet.nLINEport",          &CommSet::nLINEport,          0,     "",    false, 0, bit(kConLeasedLine)},
    {"CommSet.nLINEbps",           &CommSet::nLINEbps,           5,     "",    false, 0, bit(kConLeasedLine)},
    {"CommSet.nLINEto",            &CommSet::nLINEto,            2,     "",    false, 0, bit(kConLeasedLine)},
    {"CommSet.nLINEretry",         &CommSet::nLINEretry,         2,     "",    false, 0, bit(kConLeasedLine)},
    {"CommSet.nETHERNETto",        &CommSet::nETHERNETto,        2,     "",    false, 0, bit(kConEthernet)},
    {"CommSet.nETHERNETretry",     &CommSet::nETHERNETretry,     2,     "",    false, 0, bit(kConEthernet)},
    {"CommSet.nRS232station",      &CommSet::nRS232station,      255,   "",    false, 0, bit(kConSerial)},
    {"CommSet.nDIALstation",       &CommSet::nDIALstation,       255,   "",    false, 0, bit(kConDialUp)},
    {"CommSet.nLINEstation",       &CommSet::nLINEstation,       255,   "",    false, 0, bit(kConLeasedLine)},
    {"CommSet.nRS232RtsCts",       &CommSet::nRS232RtsCts,       0,     "",    false, 0, bit(kConSerial)},
    {"CommSet.nDIALRtsCts",        &CommSet::nDIALRtsCts,        0,     "",    false, 0, bit(kConDialUp)},
    {"CommSet.nLINERtsCts",        &CommSet::nLINERtsCts,        0,     "",    false, 0, bit(kConLeasedLine)},
    {"CommSet.nUSBto",             &CommSet::nUSBto,             2,     "",    false, 0, bit(kConUsb)},
    {"CommSet.nUSBretry",          &CommSet::nUSBretry,          2,     "",    false, 0, bit(kConUsb)},
    {"CommSet.strETHERNETdomain",  &CommSet::strETHERNETdomain,  0,     "",    false, 0, bit(kConEthernet)},
    {"CommSet.wETHERNETSocket",    &CommSet::wETHERNETSocket,    10266, "",    false, 0, bit(kConEthernet)},
    // The Tx delay list sits on the page shared by the serial, dial-up and leased-line types.
    {"CommSet.nTxDelay",           &CommSet::nTxDelay,           0,     "",    false, 0, kSerialPages},
    {"CommSet.bETHERNETuse",       &CommSet::bETHERNETuse,       0,     "",    true,  0, bit(kConEthernet)},
    {"CommSet.nETHERNETstation",   &CommSet::nETHERNETstation,   0,     "",    true,  0, bit(kConEthernet)},
    {"CommSet.nSIMULATORip",       &CommSet::nSIMULATORip,       0,     "",    false, 0, bit(kConSimulator)},
    {"CommSet.nSIMULATORto",       &CommSet::nSIMULATORto,       2,     "",    false, 0, bit(kConSimulator)},
    {"CommSet.nSIMULATORretry",    &CommSet::nSIMULATORretry,    2,     "",    false, 0, bit(kConSimulator)},
    {"CommSet.strSIMULATORdomain", &CommSet::strSIMULATORdomain, 0,     "",    false, 0, bit(kConSimulator)},
    {"CommSet.wSIMULATORSocket",   &CommSet::wSIMULATORSocket,   10523, "",    false, 0, bit(kConSimulator)},
    {"CommSet.bSIMULATORuse",      &CommSet::bSIMULATORuse,      0,     "",    true,  0, bit(kConSimulator)},
    {"CommSet.nSIMULATORstation",  &CommSet::nSIMULATORstation,  0,     "",    true,  0, bit(kConSimulator)},
    {"CommSet.strRS232path",       &CommSet::strRS232path,       0,     "",    false, 0, bit(kConSerial)},
};
// clang-format on

// Stores hold integers as int. A u32 (an IPv4 address) travels as the int of the same bits,
// so addresses above 127.255.255.255 survive the round trip.
template <typename T> int toStored(T value) {
    if constexpr (std::is_same_v<T, std::uint32_t>) {
        return static_cast<int>(value);
    } else {
        return value;
    }
}

template <typename T> std::optional<T> fromStored(int stored) {
    if constexpr (std::is_same_v<T, std::uint32_t>) {
        return static_cast<std::uint32_t>(stored);
    } else {
        if (stored < 0 || stored > std::numeric_limits<T>::max()) {
            return std::nullopt;
        }
        return static_cast<T>(stored);
    }
}

template <typename T> T narrow(std::int64_t value) { return static_cast<T>(value); }

std::chrono::milliseconds seconds(std::uint16_t s) {
    return std::chrono::milliseconds(std::int64_t{s} * 1000);
}

} // namespace

void CommSet::setDefaults() {
    for (const Field& f : kFields) {
        if (f.keptByDefaults) {
            continue;
        }
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(this->*member)>;
                if constexpr (std::is_same_v<T, std::string>) {
                    this->*member = std::string(f.defaultText);
                } else {
                    this->*member = narrow<T>(f.defaultNumber);
                }
            },
            f.member);
    }
}

void CommSet::load(SettingsStore& store) {
    setDefaults();
    if (store.getInt(kSection, kFlagKey, 0) == 0) {
        return;
    }
    for (const Field& f : kFields) {
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(this->*member)>;
                if constexpr (std::is_same_v<T, std::string>) {
                    this->*member = store.getString(kSection, f.key, "");
                } else {
                    const T missing = narrow<T>(f.whenMissing);
                    this->*member = fromStored<T>(store.getInt(kSection, f.key, toStored(missing)))
                                        .value_or(missing);
                }
            },
            f.member);
    }
}

void CommSet::saveForType(const CommSet& edited, SettingsStore& store) {
    nConType = edited.nConType;
    if (isConnectionType(nConType)) {
        const TypeMask page = bit(static_cast<ConnectionType>(nConType));
        for (const Field& f : kFields) {
            if ((f.pages & page) == 0) {
                continue;
            }
            std::visit([&](auto member) { this->*member = edited.*member; }, f.member);
        }
    }
    save(store);
}

void CommSet::save(SettingsStore& store) const {
    for (const Field& f : kFields) {
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(this->*member)>;
                if constexpr (std::is_same_v<T, std::string>) {
                    store.writeString(kSection, f.key, this->*member);
                } else {
                    store.writeInt(kSection, f.key, toStored(this->*member));
                }
            },
            f.member);
    }
    // Last, so that a record cut short by a failing store is not taken as saved.
    store.writeInt(kSection, kFlagKey, 1);
}

AppliedSettings CommSet::settingsToApply(std::uint8_t type) const {
    auto station = [](std::uint8_t use, std::uint8_t number) {
        return use == 1 ? number : kStationNotUsed;
    };
    switch (type) {
    case kConSerial:
        return {nRS232retry, seconds(nRS232to), nRS232station};
    case kConDialUp:
        return {nDIALretry, seconds(nDIALto), nDIALstation};
    case kConLeasedLine:
        return {std::nullopt, std::nullopt, nLINEstation};
    case kConEthernet:
        return {nETHERNETretry, seconds(nETHERNETto), station(bETHERNETuse, nETHERNETstation)};
    case kConSimulator:
        return {nSIMULATORretry, seconds(nSIMULATORto), station(bSIMULATORuse, nSIMULATORstation)};
    case kConUsb:
        return {nUSBretry, seconds(nUSBto), std::nullopt};
    default:
        return {};
    }
}

std::string CommSet::dialString() const {
    std::string dial;
    if (!strDIALexitNo.empty()) {
        dial += strDIALexitNo.front();
        dial += ',';
    }
    dial += strDIALcallNo;
    if (dial.size() > kModemCommandMax) {
        dial.resize(kModemCommandMax);
    }
    return dial;
}

std::string CommSet::initCommand() const { return strDIALinitCmd.substr(0, kModemCommandMax); }

} // namespace dlu
