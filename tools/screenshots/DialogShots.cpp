// The connection, password, dial-up, CPU type and encryption notice dialogs, filled in as a
// user sees them: setup pages from a sample record, serial ports from a fixed list.
#include "Screenshots.h"

#include "comm/CommSet.h"
#include "comm/gui/CCommSetDlg.h"
#include "comm/gui/CDialUpStatusDlg.h"
#include "comm/gui/CPasswordDlg.h"
#include "common/MessageIds.h"
#include "common/Prompter.h"
#include "common/SettingsStore.h"
#include "common/StringTable.h"
#include "devmem/gui/CCpuTypeDialog.h"
#include "devmem/gui/CLinuxCpuTypeDialog.h"
#include "package/gui/CEncryptionMsgDlg.h"

#include <QLineEdit>

#include <map>
#include <string>
#include <utility>

namespace dlu::shots {
namespace {

// Settings held here, so that pictures never depend on the settings of the machine.
class SampleSettings final : public SettingsStore {
public:
    void selectProfile(std::string_view) override {}
    std::string profile() const override { return "Downloader"; }
    std::string getString(std::string_view s, std::string_view k, std::string_view d) override {
        const auto it = strings_.find(key(s, k));
        return it == strings_.end() ? std::string(d) : it->second;
    }
    void writeString(std::string_view s, std::string_view k, std::string_view v) override {
        strings_[key(s, k)] = std::string(v);
    }
    int getInt(std::string_view s, std::string_view k, int d) override {
        const auto it = ints_.find(key(s, k));
        return it == ints_.end() ? d : it->second;
    }
    void writeInt(std::string_view s, std::string_view k, int v) override { ints_[key(s, k)] = v; }

private:
    static std::string key(std::string_view s, std::string_view k) {
        return std::string(s) + '/' + std::string(k);
    }
    std::map<std::string, std::string> strings_;
    std::map<std::string, int> ints_;
};

// The selection dialogs only ask when Enter is pressed without a choice.
class SilentPrompter final : public Prompter {
public:
    PromptAnswer message(std::string_view, PromptButtons, PromptIcon) override {
        return PromptAnswer::Ok;
    }
};

SampleSettings& settingsFor(std::uint8_t type) {
    static std::map<std::uint8_t, SampleSettings> stores;
    SampleSettings& store = stores[type];
    CommSet record;
    record.setDefaults();
    record.nConType = type;
    record.strDIALcallNo = "0312345678";
    record.strDIALexitNo = "9";
    record.nETHERNETip = 0xC0A8000A; // 192.168.0.10
    record.save(store);
    return store;
}

QWidget* setup(const Messages& m, std::uint8_t type) {
    return new CCommSetDlg(settingsFor(type), m, nullptr, [] {
        return std::vector<SerialPortEntry>{{"ttyS0", "/dev/ttyS0", false},
                                            {"ttyUSB0", "/dev/ttyUSB0", true}};
    });
}

SilentPrompter silent;

const Register kShots[] = {
    {"comm-setup-serial", [](const Messages& m) { return setup(m, kConSerial); }},
    {"comm-setup-dialup", [](const Messages& m) { return setup(m, kConDialUp); }},
    {"comm-setup-ethernet", [](const Messages& m) { return setup(m, kConEthernet); }},
    {"comm-setup-simulator", [](const Messages& m) { return setup(m, kConSimulator); }},
    {"password",
     [](const Messages& m) -> QWidget* {
         auto* dlg = new CPasswordDlg(m);
         dlg->findChild<QLineEdit*>("204")->setText("secret");
         return dlg;
     }},
    {"dialup-status",
     [](const Messages& m) -> QWidget* {
         auto* dlg = new CDialUpStatusDlg(m);
         dlg->showStatus({"9 , 0312345678", 12, std::string(m(Msg::Connecting))});
         return dlg;
     }},
    {"cpu-type", [](const Messages& m) -> QWidget* { return new CCpuTypeDialog(m, silent); }},
    {"cpu-type-linux",
     [](const Messages& m) -> QWidget* { return new CLinuxCpuTypeDialog(m, silent); }},
    {"encryption-error", [](const Messages& m) -> QWidget* { return new CEncryptionMsgDlg(m); }},
};

} // namespace
} // namespace dlu::shots
