#include "comm/gui/CPropCommEther.h"

#include "comm/CommSet.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

namespace dlu {

namespace {

constexpr NetworkPage::Ids kIds = {"123", "232", "233", "234", "235", "236",
                                   "238", "240", "241", "212", "213", "Station no.(0-255) :"};

} // namespace

CPropCommEther::CPropCommEther(Kind kind, const Messages& messages, QWidget* parent)
    : NetworkPage(kIds, messages, parent), kind_(kind) {
    stationCheck_->hide();
    station_->hide();
    if (kind_ == Kind::Usb) {
        for (QWidget* w : std::initializer_list<QWidget*>{ipRadio_, domainRadio_, ip_, domain_,
                                                          portCheck_, port_}) {
            w->hide();
        }
    }
}

void CPropCommEther::load(const CommSet& r) {
    if (kind_ == Kind::Usb) {
        timeout_->setValue(r.nUSBto);
        retry_->setValue(r.nUSBretry);
        return;
    }
    showTarget(r.nETHERNETip, r.strETHERNETdomain);
    timeout_->setValue(r.nETHERNETto);
    retry_->setValue(r.nETHERNETretry);
    portCheck_->setChecked(r.wETHERNETSocket != kDefaultPort);
    port_->setValue(r.wETHERNETSocket);
    port_->setEnabled(portCheck_->isChecked());
    stationCheck_->setChecked(false);
    station_->setValue(r.nETHERNETstation);
    station_->setEnabled(false);
}

void CPropCommEther::store(CommSet& r) const {
    if (kind_ == Kind::Usb) {
        r.nUSBto = static_cast<std::uint16_t>(timeout_->value());
        r.nUSBretry = static_cast<std::uint8_t>(retry_->value());
        return;
    }
    readTarget(r.nETHERNETip, r.strETHERNETdomain);
    r.nETHERNETto = static_cast<std::uint16_t>(timeout_->value());
    r.nETHERNETretry = static_cast<std::uint8_t>(retry_->value());
    // An unchecked port box means the PLC's standard port, whatever the edit still shows.
    r.wETHERNETSocket =
        portCheck_->isChecked() ? static_cast<std::uint16_t>(port_->value()) : kDefaultPort;
    r.bETHERNETuse = 0;
    r.nETHERNETstation = static_cast<std::uint8_t>(station_->value());
}

} // namespace dlu
