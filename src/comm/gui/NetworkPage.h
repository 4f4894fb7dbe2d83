#pragma once

#include <QWidget>

#include <cstdint>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace dlu {

class Messages;

// The controls the Ethernet, USB and simulator setup pages share: address or domain name,
// time-out, retry count, socket port and station number. The pages differ in their control ids,
// in which controls they show and in how they fill and read them.
class NetworkPage : public QWidget {
    Q_OBJECT
public:
    // Control ids of one page, in the order of the members below.
    struct Ids {
        const char* page;
        const char* ipRadio;
        const char* domainRadio;
        const char* ip;
        const char* domain;
        const char* timeout;
        const char* retry;
        const char* portCheck;
        const char* port;
        const char* stationCheck;
        const char* station;
        const char* stationLabel; // English text of the station check box
    };

    // IPv4 address (first octet in the high byte) as dotted text, and back; a field left
    // empty counts 0, like in an address control.
    static QString addressText(std::uint32_t address);
    static std::uint32_t addressOf(const QString& text);

protected:
    NetworkPage(const Ids& ids, const Messages& messages, QWidget* parent);

    // Shows the domain name when there is one, else the address, and selects the radio of
    // what is shown.
    void showTarget(std::uint32_t address, const std::string& domain);
    // What the selected radio takes, clearing the other: the address with the IP radio (so
    // that the next opening shows the IP radio again); with the domain radio the address is 0,
    // so that the domain name is the one connected to (a stored address would otherwise win
    // over the name the user chose).
    void readTarget(std::uint32_t& address, std::string& domain) const;
    void enableTargetFields();

    QRadioButton* ipRadio_ = nullptr;
    QRadioButton* domainRadio_ = nullptr;
    QLineEdit* ip_ = nullptr;
    QLineEdit* domain_ = nullptr;
    QSpinBox* timeout_ = nullptr;
    QSpinBox* retry_ = nullptr;
    QCheckBox* portCheck_ = nullptr;
    QSpinBox* port_ = nullptr;
    QCheckBox* stationCheck_ = nullptr;
    QSpinBox* station_ = nullptr;
};

} // namespace dlu
