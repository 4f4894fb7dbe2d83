#include "comm/CommSet.h"
#include "comm/gui/CCommSetDlg.h"
#include "comm/gui/CDialUpStatusDlg.h"
#include "comm/gui/CPasswordDlg.h"
#include "comm/gui/CPropCommSerial.h"
#include "common/StringTable.h"
#include "support/MemorySettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <variant>

namespace dlu {
namespace {

template <typename W> W* control(const QWidget* parent, const char* id) {
    W* w = parent->findChild<W*>(QString::fromLatin1(id));
    if (w == nullptr) {
        ADD_FAILURE() << "no control " << id;
    }
    return w;
}

SerialPortLister ports(std::vector<QString> names) {
    return [names] {
        std::vector<SerialPortEntry> list;
        for (const QString& n : names) {
            list.push_back({n, "/dev/" + n, false});
        }
        return list;
    };
}

// A record as an earlier session saved it, with values no page default produces.
CommSet savedRecord() {
    CommSet r;
    r.setDefaults();
    r.nConType = kConSerial;
    r.nRS232port = 1;
    r.nDIALport = 3;
    r.strDIALcallNo = "555";
    r.nETHERNETip = 0x0A000001; // 10.0.0.1
    r.strSIMULATORdomain.clear();
    r.nUSBto = 8;
    return r;
}

class SetupDialogTest : public ::testing::Test {
protected:
    test::MemorySettingsStore settings;
    Messages english{Language::English};

    CommSet stored() {
        CommSet r;
        r.load(settings);
        return r;
    }
};

TEST_F(SetupDialogTest, OkSavesTheChosenTypeAndOnlyItsFields) {
    using Edit = std::function<void(QWidget * page)>;
    struct Case {
        const char* name;
        std::uint8_t type;
        Edit edit;
        std::function<void(CommSet&)> expect;
        std::function<void(const ConnectionDescription&)> spec = [](const ConnectionDescription&) {
        };
    };
    const Case cases[] = {
        {"serial: COM10 is the third port in order", kConSerial,
         [](QWidget* p) {
             auto* port = control<QComboBox>(p, "214");
             ASSERT_EQ(port->count(), 3);
             EXPECT_EQ(port->itemText(0), "COM1");
             EXPECT_EQ(port->itemText(1), "COM3"); // the stored index 1
             EXPECT_EQ(port->currentText(), "COM3");
             port->setCurrentIndex(2);
             control<QComboBox>(p, "215")->setCurrentIndex(8);
             control<QSpinBox>(p, "216")->setValue(9);
             control<QSpinBox>(p, "218")->setValue(4);
             control<QCheckBox>(p, "221")->setChecked(true);
             control<QSpinBox>(p, "222")->setValue(12);
             control<QCheckBox>(p, "220")->setChecked(true);
             control<QComboBox>(p, "242")->setCurrentIndex(3);
         },
         [](CommSet& r) {
             r.nRS232port = 2;
             r.nRS232bps = 8;
             r.nRS232to = 9;
             r.nRS232retry = 4;
             r.nRS232station = 12;
             r.nRS232RtsCts = 1;
             r.nTxDelay = 3;
             r.strRS232path = "/dev/COM10"; // the port kept by its path too
         },
         [](const ConnectionDescription& spec) {
             EXPECT_EQ(std::get<SerialLink>(spec.link).line.device, "/dev/COM10");
             EXPECT_EQ(spec.station, 12);
             EXPECT_EQ(spec.timeoutSeconds, 9);
         }},
        {"dial-up: numbers and an unchecked station", kConDialUp,
         [](QWidget* p) {
             EXPECT_EQ(control<QComboBox>(p, "214")->currentText(), "COM1")
                 << "index 3 is past the list";
             EXPECT_EQ(control<QLineEdit>(p, "227")->text(), "555");
             control<QLineEdit>(p, "227")->setText("1234");
             control<QLineEdit>(p, "229")->setText("9");
             control<QLineEdit>(p, "231")->setText("AT&F");
         },
         [](CommSet& r) {
             r.nDIALport = 0;
             r.strDIALcallNo = "1234";
             r.strDIALexitNo = "9";
             r.strDIALinitCmd = "AT&F";
         }},
        {"ethernet: an address, first octet high", kConEthernet,
         [](QWidget* p) {
             EXPECT_TRUE(control<QRadioButton>(p, "232")->isChecked());
             EXPECT_EQ(control<QLineEdit>(p, "234")->text(), "10.0.0.1");
             EXPECT_TRUE(control<QCheckBox>(p, "212")->isHidden());
             control<QLineEdit>(p, "234")->setText("192.168.0.10");
             control<QCheckBox>(p, "240")->setChecked(true);
             control<QSpinBox>(p, "241")->setValue(2000);
         },
         [](CommSet& r) {
             r.nETHERNETip = 0xC0A8000A;
             r.wETHERNETSocket = 2000;
         }},
        {"ethernet: the domain radio stores address 0", kConEthernet,
         [](QWidget* p) {
             control<QRadioButton>(p, "233")->setChecked(true);
             control<QLineEdit>(p, "235")->setText("plc.example");
         },
         [](CommSet& r) {
             r.nETHERNETip = 0;
             r.strETHERNETdomain = "plc.example";
         },
         [](const ConnectionDescription& spec) {
             const NetworkTarget& target = std::get<EthernetLink>(spec.link).target;
             EXPECT_EQ(target.address, 0U);
             EXPECT_EQ(target.host, "plc.example");
         }},
        {"simulator: only time-out and retry", kConSimulator,
         [](QWidget* p) {
             EXPECT_FALSE(control<QLineEdit>(p, "247")->isEnabled());
             EXPECT_FALSE(control<QSpinBox>(p, "254")->isEnabled());
             control<QSpinBox>(p, "249")->setValue(7);
         },
         [](CommSet& r) {
             r.nSIMULATORto = 7;
             r.nSIMULATORip = 0x7F000001;
         }},
        {"usb: time-out and retry only", kConUsb,
         [](QWidget* p) {
             EXPECT_TRUE(control<QLineEdit>(p, "234")->isHidden());
             control<QSpinBox>(p, "236")->setValue(4);
             control<QSpinBox>(p, "238")->setValue(3);
         },
         [](CommSet& r) {
             r.nUSBto = 4;
             r.nUSBretry = 3;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::MemorySettingsStore store;
        savedRecord().save(store);
        CCommSetDlg dlg(store, english, nullptr, ports({"COM3", "COM10", "COM1"}));
        control<QComboBox>(&dlg, "208")->setCurrentIndex(c.type);
        auto* tab = control<QTabWidget>(&dlg, "209");
        ASSERT_EQ(tab->count(), 1);
        c.edit(tab->widget(0));
        control<QPushButton>(&dlg, "1")->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);

        CommSet expected = savedRecord();
        expected.nConType = c.type;
        c.expect(expected);
        CommSet reloaded;
        reloaded.load(store);
        EXPECT_EQ(reloaded, expected);
        EXPECT_EQ(dlg.record(), expected);
        EXPECT_EQ(dlg.spec().connectionType(), c.type);
        c.spec(dlg.spec());
    }
}

// A port set up by its path is shown where the list has it now, whatever its stored index;
// OK keeps the path and brings the index up to date.
TEST_F(SetupDialogTest, TheStoredPortPathPicksThePortAfterTheListChanged) {
    test::MemorySettingsStore store;
    CommSet saved = savedRecord();
    saved.nRS232port = 0;
    saved.strRS232path = "/dev/COM10";
    saved.save(store);
    CCommSetDlg dlg(store, english, nullptr, ports({"COM3", "COM10", "COM1"}));
    auto* tab = control<QTabWidget>(&dlg, "209");
    EXPECT_EQ(control<QComboBox>(tab->widget(0), "214")->currentText(), "COM10");
    EXPECT_EQ(std::get<SerialLink>(dlg.spec().link).line.device, "/dev/COM10");
    control<QPushButton>(&dlg, "1")->click();
    CommSet reloaded;
    reloaded.load(store);
    EXPECT_EQ(reloaded.nRS232port, 2);
    EXPECT_EQ(reloaded.strRS232path, "/dev/COM10");
}

TEST_F(SetupDialogTest, CancelChangesNothing) {
    {
        CCommSetDlg dlg(settings, english, nullptr, ports({"ttyS0"}));
        control<QComboBox>(&dlg, "208")->setCurrentIndex(kConEthernet);
        QWidget* page = control<QTabWidget>(&dlg, "209")->widget(0);
        control<QRadioButton>(page, "233")->setChecked(true);
        control<QLineEdit>(page, "235")->setText("elsewhere");
        control<QPushButton>(&dlg, "210")->click();
        EXPECT_EQ(control<QSpinBox>(page, "236")->value(), 5) << "the page's defaults";
        EXPECT_TRUE(control<QRadioButton>(page, "232")->isChecked());
        control<QPushButton>(&dlg, "2")->click();
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    EXPECT_EQ(settings.writeCount(), 0);
}

TEST_F(SetupDialogTest, WithoutSerialPortsThePlaceholderKeepsTheStoredPort) {
    savedRecord().save(settings);
    CCommSetDlg dlg(settings, english, nullptr, ports({}));
    auto* port = control<QComboBox>(&dlg, "214");
    ASSERT_EQ(port->count(), 1);
    EXPECT_EQ(port->itemText(0), CPropCommSerial::kNoPort);
    control<QPushButton>(&dlg, "1")->click();
    EXPECT_EQ(stored().nRS232port, 1);
}

TEST(PasswordDialog, TakesAtMostFourteenMaskedCharacters) {
    const Messages english(Language::English);
    CPasswordDlg dlg(english);
    auto* edit = control<QLineEdit>(&dlg, "204");
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
    QTest::keyClicks(edit, "abcdefghijklmnop");
    EXPECT_EQ(dlg.password(), "abcdefghijklmn");
}

// Cancel and the status lines are seen through the main window's dial-up download
// (MainWindow.DialUpStatusWindowFollowsTheCall); an end before the window shows is only here.
TEST(DialUpStatusDialog, AnEndBeforeItShowsClosesItAtOnce) {
    const Messages english(Language::English);
    CDialUpStatusDlg dlg(english);
    const auto cancelled = dlg.cancelCheck();
    dlg.finish(true); // before the dialog is shown: exec() must not wait
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_FALSE(cancelled());
}

} // namespace
} // namespace dlu
