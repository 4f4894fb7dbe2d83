#pragma once

#include "comm/CommSet.h"
#include "comm/ConnectionDescription.h"
#include "comm/channels/QtSerialPorts.h"

#include <QDialog>

#include <array>
#include <string>
#include <vector>

class QComboBox;
class QTabWidget;

namespace dlu {

class CPropCommEther;
class CPropCommSerial;
class CPropCommSimulator;
class Messages;
class SettingsStore;

// The connection setup dialog: the user picks the connection type and edits that type's
// settings on its one page. Opening loads the stored record; OK saves the selected type's
// fields (the other types keep theirs) and the caller applies the description spec() gives;
// Cancel changes nothing. The dialog only turns widgets into the record and back.
class CCommSetDlg : public QDialog {
    Q_OBJECT
public:
    // `ports` lists the computer's serial ports; by default the system's.
    CCommSetDlg(SettingsStore& settings, const Messages& messages, QWidget* parent = nullptr,
                const SerialPortLister& ports = systemSerialPorts);
    ~CCommSetDlg() override;

    // The record as loaded at opening and, after OK, as saved.
    const CommSet& record() const { return record_; }
    // The connection the record describes: after OK the one the user chose, its serial port
    // named by its path.
    ConnectionDescription spec() const {
        return ConnectionDescription::fromCommSet(record_, portPaths_);
    }

    void accept() override;

private:
    void showType(int type);
    void restoreDefaults();
    QWidget* page(int type) const;
    // Writes the page of `type` into `record`.
    void storePage(int type, CommSet& record) const;
    void loadPage(int type, const CommSet& record);

    SettingsStore& settings_;
    const Messages& messages_;
    CommSet record_;
    std::vector<std::string> portNames_; // in the order of the stored port index
    std::vector<std::string> portPaths_; // the same ports by the path a channel opens
    QComboBox* type_ = nullptr;
    QTabWidget* tab_ = nullptr;
    std::array<CPropCommSerial*, 3> serial_{};
    CPropCommEther* ether_ = nullptr;
    CPropCommEther* usb_ = nullptr;
    CPropCommSimulator* simulator_ = nullptr;
    QWidget* noPage_ = nullptr; // shown for a type outside the list
};

} // namespace dlu
