#include "comm/gui/NetworkPage.h"

#include "common/gui/DialogText.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>

namespace dlu {

namespace {

constexpr int kMaxTimeout = 300;
constexpr int kMaxByte = 255;
constexpr int kMaxPort = 65535;
constexpr int kDomainMax = 255; // the longest host name DNS allows

QSpinBox* spin(QWidget* parent, const char* id, int max) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(id);
    box->setRange(0, max);
    return box;
}

} // namespace

QString NetworkPage::addressText(std::uint32_t a) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 0xFFU)
        .arg((a >> 8) & 0xFFU)
        .arg(a & 0xFFU);
}

std::uint32_t NetworkPage::addressOf(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    std::uint32_t address = 0;
    for (qsizetype i = 0; i < 4; ++i) {
        const uint octet = i < parts.size() ? parts[i].toUInt() : 0U;
        address = (address << 8) | (octet > 255U ? 255U : octet);
    }
    return address;
}

NetworkPage::NetworkPage(const Ids& ids, const Messages& m, QWidget* parent) : QWidget(parent) {
    using gui::layoutText;
    setObjectName(ids.page);
    auto* grid = new QGridLayout(this);

    ipRadio_ = new QRadioButton(layoutText(m, "IP 주소 :", "IP Address :"), this);
    ipRadio_->setObjectName(ids.ipRadio);
    ip_ = new QLineEdit(this);
    ip_->setObjectName(ids.ip);
    ip_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral(
            R"(((25[0-5]|2[0-4]\d|1\d\d|\d{1,2})?\.){0,3}(25[0-5]|2[0-4]\d|1\d\d|\d{1,2})?)")),
        ip_));
    domainRadio_ = new QRadioButton(layoutText(m, "도메인 이름 :", "Domain Name :"), this);
    domainRadio_->setObjectName(ids.domainRadio);
    domain_ = new QLineEdit(this);
    domain_->setObjectName(ids.domain);
    domain_->setMaxLength(kDomainMax);
    connect(ipRadio_, &QRadioButton::toggled, this, &NetworkPage::enableTargetFields);
    grid->addWidget(ipRadio_, 0, 0);
    grid->addWidget(ip_, 0, 1, 1, 2);
    grid->addWidget(domainRadio_, 1, 0);
    grid->addWidget(domain_, 1, 1, 1, 2);

    auto addRow = [&](int row, const QString& label, QWidget* field, const QString& unit) {
        auto* text = new QLabel(label, this);
        text->setBuddy(field);
        grid->addWidget(text, row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(new QLabel(unit, this), row, 2);
    };
    timeout_ = spin(this, ids.timeout, kMaxTimeout);
    addRow(2, layoutText(m, "응답시간 :", "Time Out :"), timeout_, layoutText(m, "초", "sec"));
    retry_ = spin(this, ids.retry, kMaxByte);
    addRow(3, layoutText(m, "재시도 :", "Retry :"), retry_, layoutText(m, "회", "times"));

    portCheck_ = new QCheckBox(layoutText(m, "소켓 포트 :", "Socket Port :"), this);
    portCheck_->setObjectName(ids.portCheck);
    port_ = spin(this, ids.port, kMaxPort);
    connect(portCheck_, &QCheckBox::toggled, port_, &QWidget::setEnabled);
    grid->addWidget(portCheck_, 4, 0);
    grid->addWidget(port_, 4, 1);

    stationCheck_ = new QCheckBox(layoutText(m, "국번 :", ids.stationLabel), this);
    stationCheck_->setObjectName(ids.stationCheck);
    station_ = spin(this, ids.station, kMaxByte);
    connect(stationCheck_, &QCheckBox::toggled, station_, &QWidget::setEnabled);
    grid->addWidget(stationCheck_, 5, 0);
    grid->addWidget(station_, 5, 1);

    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);
}

void NetworkPage::showTarget(std::uint32_t address, const std::string& domain) {
    ip_->setText(addressText(address));
    domain_->setText(QString::fromStdString(domain));
    (domain.empty() ? ipRadio_ : domainRadio_)->setChecked(true);
    enableTargetFields();
}

void NetworkPage::readTarget(std::uint32_t& address, std::string& domain) const {
    if (ipRadio_->isChecked()) {
        address = addressOf(ip_->text());
        domain.clear();
    } else {
        address = 0;
        domain = domain_->text().trimmed().toStdString();
    }
}

void NetworkPage::enableTargetFields() {
    ip_->setEnabled(ipRadio_->isChecked());
    domain_->setEnabled(domainRadio_->isChecked());
}

} // namespace dlu
