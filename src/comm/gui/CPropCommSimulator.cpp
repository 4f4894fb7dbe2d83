#include "comm/gui/CPropCommSimulator.h"

#include "comm/CommSet.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

namespace dlu {

namespace {

constexpr NetworkPage::Ids kIds = {"124", "243", "244", "247", "248", "249",
                                   "250", "246", "254", "245", "253", "Station no.(0-25) :"};

} // namespace

CPropCommSimulator::CPropCommSimulator(const Messages& messages, QWidget* parent)
    : NetworkPage(kIds, messages, parent) {}

void CPropCommSimulator::load(const CommSet& r) {
    showTarget(kLoopback, r.strSIMULATORdomain);
    timeout_->setValue(r.nSIMULATORto);
    retry_->setValue(r.nSIMULATORretry);
    portCheck_->setChecked(false);
    port_->setValue(kPort);
    stationCheck_->setChecked(false);
    station_->setValue(r.nSIMULATORstation);
    for (QWidget* w : std::initializer_list<QWidget*>{ipRadio_, domainRadio_, ip_, domain_,
                                                      portCheck_, port_, stationCheck_, station_}) {
        w->setEnabled(false);
    }
}

void CPropCommSimulator::store(CommSet& r) const {
    readTarget(r.nSIMULATORip, r.strSIMULATORdomain);
    r.nSIMULATORto = static_cast<std::uint16_t>(timeout_->value());
    r.nSIMULATORretry = static_cast<std::uint8_t>(retry_->value());
    r.wSIMULATORSocket = kPort;
    r.bSIMULATORuse = 0;
    r.nSIMULATORstation = static_cast<std::uint8_t>(station_->value());
}

} // namespace dlu
