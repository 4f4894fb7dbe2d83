#include "comm/gui/CCommSetDlg.h"

#include "comm/SerialPortOrder.h"
#include "comm/SetupPageDefaults.h"
#include "comm/gui/CPropCommEther.h"
#include "comm/gui/CPropCommSerial.h"
#include "comm/gui/CPropCommSimulator.h"
#include "common/MessageIds.h"
#include "common/SettingsStore.h"
#include "common/StringTable.h"
#include "common/gui/DialogText.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace dlu {

namespace {

constexpr int kTypeCount = kConUsb + 1;

struct PageTitle {
    const char* korean;
    const char* english;
};
constexpr std::array<PageTitle, kTypeCount> kPageTitles = {{
    {"시리얼 포트 설정", "Serial Port Setup"},
    {"다이얼 모뎀 설정", "Dialup Modem Setup"},
    {"전용선 모뎀 설정", "Leased Line Modem Setup"},
    {"이더넷 설정", "Ethernet Setup"},
    {"PLC 시뮬레이터 설정", "Simulator Setup"},
    {"USB 설정", "USB Setup"},
}};
constexpr const char* kNoTypeTitle = "Default...";

QPushButton* button(QWidget* parent, const char* id, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(id);
    return b;
}

} // namespace

CCommSetDlg::CCommSetDlg(SettingsStore& settings, const Messages& m, QWidget* parent,
                         const SerialPortLister& ports)
    : QDialog(parent), settings_(settings), messages_(m) {
    using gui::layoutText;
    setObjectName("121");
    setWindowTitle(layoutText(m, "통신 설정", "Communication Setup"));

    std::vector<SerialPortEntry> entries = ports();
    std::stable_sort(entries.begin(), entries.end(),
                     [](const SerialPortEntry& a, const SerialPortEntry& b) {
                         return serialPortNameLess(a.name.toStdString(), b.name.toStdString());
                     });
    for (const SerialPortEntry& port : entries) {
        portNames_.push_back(port.name.toStdString());
    }
    portPaths_ = serialPortPaths(entries);

    type_ = new QComboBox(this);
    type_->setObjectName("208");
    for (int t = 0; t < kTypeCount; ++t) {
        type_->addItem(gui::messageText(m, Msg::ConnectionTypeNames + t));
    }
    auto* typeLabel = new QLabel(layoutText(m, "접속 방식 :", "Type :"), this);
    typeLabel->setObjectName("1030");
    typeLabel->setBuddy(type_);

    serial_ = {new CPropCommSerial(CPropCommSerial::Kind::Serial, m, portNames_, this),
               new CPropCommSerial(CPropCommSerial::Kind::DialUp, m, portNames_, this),
               new CPropCommSerial(CPropCommSerial::Kind::LeasedLine, m, portNames_, this)};
    ether_ = new CPropCommEther(CPropCommEther::Kind::Ethernet, m, this);
    usb_ = new CPropCommEther(CPropCommEther::Kind::Usb, m, this);
    simulator_ = new CPropCommSimulator(m, this);
    noPage_ = new QWidget(this);
    tab_ = new QTabWidget(this);
    tab_->setObjectName("209");

    auto* defaults = button(this, "210", layoutText(m, "기본값(&D)", "&Default"));
    auto* ok = button(this, "1", layoutText(m, "확인", "OK"));
    auto* cancel = button(this, "2", layoutText(m, "취소", "Cancel"));
    ok->setDefault(true);
    connect(defaults, &QPushButton::clicked, this, &CCommSetDlg::restoreDefaults);
    connect(ok, &QPushButton::clicked, this, &CCommSetDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CCommSetDlg::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(typeLabel);
    top->addWidget(type_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(defaults);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(tab_, 1);
    layout->addLayout(buttons);

    // Every page shows the stored record; the list then picks the page that is visible.
    record_.load(settings_);
    // The serial port is shown by its stored path where the list still has it: its index
    // may have moved since.
    CommSet shown = record_;
    if (const auto found = std::find(portPaths_.begin(), portPaths_.end(), shown.strRS232path);
        !shown.strRS232path.empty() && found != portPaths_.end() &&
        found - portPaths_.begin() < 256) {
        shown.nRS232port = static_cast<std::uint8_t>(found - portPaths_.begin());
    }
    for (int t = 0; t < kTypeCount; ++t) {
        loadPage(t, shown);
        page(t)->hide();
    }
    noPage_->hide();
    const int stored = isConnectionType(record_.nConType) ? record_.nConType : -1;
    type_->setCurrentIndex(stored);
    showType(stored);
    connect(type_, &QComboBox::currentIndexChanged, this, &CCommSetDlg::showType);
}

CCommSetDlg::~CCommSetDlg() = default;

QWidget* CCommSetDlg::page(int type) const {
    switch (type) {
    case kConSerial:
    case kConDialUp:
    case kConLeasedLine:
        return serial_[static_cast<std::size_t>(type)];
    case kConEthernet:
        return ether_;
    case kConSimulator:
        return simulator_;
    case kConUsb:
        return usb_;
    default:
        return noPage_;
    }
}

void CCommSetDlg::loadPage(int type, const CommSet& record) {
    switch (type) {
    case kConSerial:
    case kConDialUp:
    case kConLeasedLine:
        serial_[static_cast<std::size_t>(type)]->load(record);
        break;
    case kConEthernet:
        ether_->load(record);
        break;
    case kConSimulator:
        simulator_->load(record);
        break;
    case kConUsb:
        usb_->load(record);
        break;
    default:
        break;
    }
}

void CCommSetDlg::storePage(int type, CommSet& record) const {
    switch (type) {
    case kConSerial:
    case kConDialUp:
    case kConLeasedLine:
        serial_[static_cast<std::size_t>(type)]->store(record);
        // The port chosen is kept by its path too.
        if (type == kConSerial && record.nRS232port < portPaths_.size()) {
            record.strRS232path = portPaths_[record.nRS232port];
        }
        break;
    case kConEthernet:
        ether_->store(record);
        break;
    case kConSimulator:
        simulator_->store(record);
        break;
    case kConUsb:
        usb_->store(record);
        break;
    default:
        break;
    }
}

void CCommSetDlg::showType(int type) {
    // The tab holds only the page of the selected type.
    if (tab_->count() > 0) {
        tab_->widget(0)->hide();
        tab_->removeTab(0);
    }
    const QString title =
        type >= 0 && type < kTypeCount
            ? gui::layoutText(messages_, kPageTitles[static_cast<std::size_t>(type)].korean,
                              kPageTitles[static_cast<std::size_t>(type)].english)
            : QString(kNoTypeTitle);
    QWidget* shown = page(type);
    tab_->addTab(shown, title);
    shown->show();
}

void CCommSetDlg::restoreDefaults() {
    const int type = type_->currentIndex();
    CommSet shown = record_;
    storePage(type, shown);
    resetSetupPage(shown, static_cast<std::uint8_t>(type));
    loadPage(type, shown);
}

void CCommSetDlg::accept() {
    const int type = type_->currentIndex();
    CommSet edited = record_;
    edited.nConType = type < 0 ? std::uint8_t{kConNone} : static_cast<std::uint8_t>(type);
    storePage(type, edited);
    record_.saveForType(edited, settings_);
    QDialog::accept();
}

} // namespace dlu
