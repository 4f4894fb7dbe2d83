#include "comm/gui/CPropCommSerial.h"

#include "comm/CommSet.h"
#include "common/gui/DialogText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>
#include <array>

namespace dlu {

namespace {

constexpr int kMaxTimeout = 300;
constexpr int kMaxByte = 255;
constexpr int kPhoneMax = 32;
constexpr int kOuterMax = 4;
constexpr int kInitMax = 128;

constexpr std::array<const char*, 5> kTxDelays = {"100 msec", "200 msec", "300 msec", "400 msec",
                                                  "500 msec"};

QSpinBox* spin(QWidget* parent, const char* id, int max) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(id);
    box->setRange(0, max);
    return box;
}

QLineEdit* edit(QWidget* parent, const char* id, int maxLength) {
    auto* line = new QLineEdit(parent);
    line->setObjectName(id);
    line->setMaxLength(maxLength);
    return line;
}

QString fromStd(const std::string& s) { return QString::fromStdString(s); }

// Widget values are kept inside their field's range by the widgets themselves.
std::uint8_t byteOf(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

} // namespace

// The record fields one page kind edits.
struct CPropCommSerial::Fields {
    std::uint8_t CommSet::*port;
    std::uint8_t CommSet::*bps;
    std::uint16_t CommSet::*timeout;
    std::uint8_t CommSet::*retry;
    std::uint8_t CommSet::*station;
    std::uint8_t CommSet::*rtsCts;
};

CPropCommSerial::Fields CPropCommSerial::fields() const {
    switch (kind_) {
    case Kind::DialUp:
        return {&CommSet::nDIALport,  &CommSet::nDIALbps,     &CommSet::nDIALto,
                &CommSet::nDIALretry, &CommSet::nDIALstation, &CommSet::nDIALRtsCts};
    case Kind::LeasedLine:
        return {&CommSet::nLINEport,  &CommSet::nLINEbps,     &CommSet::nLINEto,
                &CommSet::nLINEretry, &CommSet::nLINEstation, &CommSet::nLINERtsCts};
    case Kind::Serial:
        break;
    }
    return {&CommSet::nRS232port,  &CommSet::nRS232bps,     &CommSet::nRS232to,
            &CommSet::nRS232retry, &CommSet::nRS232station, &CommSet::nRS232RtsCts};
}

CPropCommSerial::CPropCommSerial(Kind kind, const Messages& m, std::vector<std::string> ports,
                                 QWidget* parent)
    : QWidget(parent), kind_(kind), ports_(std::move(ports)) {
    using gui::layoutText;
    setObjectName("122");
    auto* grid = new QGridLayout(this);
    int row = 0;
    auto addRow = [&](const QString& label, QWidget* field, const QString& unit = {}) {
        auto* text = new QLabel(label, this);
        text->setBuddy(field);
        grid->addWidget(text, row, 0);
        grid->addWidget(field, row, 1);
        if (!unit.isEmpty()) {
            grid->addWidget(new QLabel(unit, this), row, 2);
        }
        ++row;
    };

    port_ = new QComboBox(this);
    port_->setObjectName("214");
    if (ports_.empty()) {
        port_->addItem(kNoPort);
    }
    for (const std::string& name : ports_) {
        port_->addItem(fromStd(name));
    }
    addRow(layoutText(m, "포트 :", "Port :"), port_);

    baud_ = new QComboBox(this);
    baud_->setObjectName("215");
    for (const std::uint32_t rate : kBaudRates) {
        baud_->addItem(QString::number(rate));
    }
    addRow(layoutText(m, "통신속도 :", "Baudrate :"), baud_);

    timeout_ = spin(this, "216", kMaxTimeout);
    addRow(layoutText(m, "응답시간 :", "Time Out :"), timeout_, layoutText(m, "초", "sec"));
    retry_ = spin(this, "218", kMaxByte);
    addRow(layoutText(m, "재시도 :", "Retry :"), retry_, layoutText(m, "회", "times"));

    stationUsed_ = new QCheckBox(layoutText(m, "국번 :", "St No :"), this);
    stationUsed_->setObjectName("221");
    station_ = spin(this, "222", kMaxByte);
    grid->addWidget(stationUsed_, row, 0);
    grid->addWidget(station_, row++, 1);
    connect(stationUsed_, &QCheckBox::toggled, station_, &QWidget::setEnabled);

    rtsCts_ = new QCheckBox("RTS/CTS", this);
    rtsCts_->setObjectName("220");
    grid->addWidget(rtsCts_, row++, 0, 1, 2);

    txDelay_ = new QComboBox(this);
    txDelay_->setObjectName("242");
    txDelay_->addItem(layoutText(m, "없음", "None"));
    for (const char* delay : kTxDelays) {
        txDelay_->addItem(delay);
    }
    addRow(layoutText(m, "송신지연 :", "Tx Delay :"), txDelay_);

    if (kind_ == Kind::DialUp) {
        phone_ = edit(this, "227", kPhoneMax);
        addRow(layoutText(m, "전화번호 :", "Phone No :"), phone_);
        outer_ = edit(this, "229", kOuterMax);
        addRow(layoutText(m, "외부번호", "Outer No"), outer_);
        init_ = edit(this, "231", kInitMax);
        addRow(layoutText(m, "초기화 :", "Initialize :"), init_);
    }
    if (kind_ == Kind::LeasedLine) {
        lines_ = new QComboBox(this);
        lines_->setObjectName("225");
        lines_->addItems({"2 Line", "4 Line"});
        addRow(layoutText(m, "회선 :", "Lines :"), lines_);
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);
}

void CPropCommSerial::load(const CommSet& r) {
    const Fields f = fields();
    const std::size_t port = r.*f.port;
    port_->setCurrentIndex(port < ports_.size() ? static_cast<int>(port) : 0);
    baud_->setCurrentIndex(r.*f.bps < kBaudRates.size() ? r.*f.bps : 0);
    timeout_->setValue(r.*f.timeout);
    retry_->setValue(r.*f.retry);
    const bool stationUsed = r.*f.station < CommSet::kStationNotUsed;
    stationUsed_->setChecked(stationUsed);
    station_->setValue(r.*f.station);
    station_->setEnabled(stationUsed);
    rtsCts_->setChecked(r.*f.rtsCts != 0);
    txDelay_->setCurrentIndex(r.nTxDelay < txDelay_->count() ? r.nTxDelay : 0);
    if (phone_ != nullptr) {
        phone_->setText(fromStd(r.strDIALcallNo));
        outer_->setText(fromStd(r.strDIALexitNo));
        init_->setText(fromStd(r.strDIALinitCmd));
    }
    if (lines_ != nullptr) {
        lines_->setCurrentIndex(r.nLINEwireNo < 2 ? r.nLINEwireNo : 0);
    }
}

void CPropCommSerial::store(CommSet& r) const {
    const Fields f = fields();
    // Without any port on this computer the stored choice stays: unplugging an adapter must
    // not lose the port the user set up for it.
    if (!ports_.empty()) {
        r.*f.port = byteOf(port_->currentIndex());
    }
    r.*f.bps = byteOf(baud_->currentIndex());
    r.*f.timeout = static_cast<std::uint16_t>(timeout_->value());
    r.*f.retry = byteOf(retry_->value());
    r.*f.station = stationUsed_->isChecked() ? byteOf(station_->value()) : CommSet::kStationNotUsed;
    r.*f.rtsCts = rtsCts_->isChecked() ? 1 : 0;
    r.nTxDelay = byteOf(txDelay_->currentIndex());
    if (phone_ != nullptr) {
        r.strDIALcallNo = phone_->text().toStdString();
        r.strDIALexitNo = outer_->text().toStdString();
        r.strDIALinitCmd = init_->text().toStdString();
    }
    if (lines_ != nullptr) {
        r.nLINEwireNo = byteOf(lines_->currentIndex());
    }
}

} // namespace dlu
