// The real channels against the plcsim program: a whole session over loopback TCP, over a
// serial line on a pseudo-terminal, and through plcsim's modem on a pseudo-terminal, dialled
// with the dial-up sequence. Has its own main: the Qt channels need a QCoreApplication.

#include "comm/CCOMInterface.h"
#include "comm/COnlineModule.h"
#include "comm/CommSet.h"
#include "comm/DialUpSequence.h"
#include "comm/channels/QtChannelFactory.h"
#include "common/Clock.h"
#include "common/StringTable.h"
#include "sim/PlcSimulator.h"
#include "support/ChildProcess.h"
#include "support/ScriptedPrompter.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dlu {
namespace {

// plcsim as a child process; the first line of its output says where it listens.
struct Plcsim {
    explicit Plcsim(std::vector<std::string> args)
        : process(PLCSIM_PATH, std::move(args)), where(process.line()) {}

    std::uint16_t port() const { return static_cast<std::uint16_t>(test::listeningPort(where)); }
    // "plcsim: serial line on DEVICE" -> DEVICE.
    std::string device() const {
        const std::string prefix = "plcsim: serial line on ";
        return where.rfind(prefix, 0) == 0 ? where.substr(prefix.size()) : std::string{};
    }

    test::ChildProcess process;
    std::string where;
};

// The program's objects over the Qt channels, with a port list that holds one device.
struct Rig {
    explicit Rig(std::string device = {})
        : factory([device] {
              return device.empty()
                         ? std::vector<SerialPortEntry>{}
                         : std::vector<SerialPortEntry>{{QString::fromStdString(device),
                                                         QString::fromStdString(device), false}};
          }),
          com(factory, prompter), protocol(com),
          session(OnlineContext{settings, com, protocol, prompter, messages, clock}) {
        settings.setDefaults();
    }

    std::vector<std::string> shown() const { return prompter.texts(); }
    std::string text(int id) const { return std::string(messages(id)); }

    QtChannelFactory factory;
    test::ScriptedPrompter prompter;
    CCOMInterface com;
    CProtocol protocol;
    CommSet settings;
    Messages messages{Language::English};
    SystemClock clock;
    COnlineModule session;
};

TEST(PlcsimOverTcp, ProtocolTestAndLoginWithPassword) {
    Plcsim plcsim(
        {"--port", "0", "--password", "secret", "--image-size", "900", "--memory-seed", "5"});
    sim::PlcSimulator seeded(sim::presetConfig("A-21").value());
    seeded.fillDeviceMemory(5);
    ASSERT_NE(plcsim.port(), 0);

    // Wrong passwords are the in-process simulator's business; here one login over TCP, then
    // the status, named words and the image with the login's token.
    Rig rig;
    rig.settings.nConType = kConSimulator;
    rig.settings.nSIMULATORip = 0x7F000001;
    rig.settings.wSIMULATORSocket = plcsim.port();
    rig.session.setProjectCpuType(26);
    rig.prompter.answerPassword("secret");
    ASSERT_TRUE(rig.session.connect()) << ::testing::PrintToString(rig.shown());
    EXPECT_TRUE(rig.protocol.stationHeaderFlag());
    EXPECT_EQ(rig.prompter.passwordRequests(), 1);
    EXPECT_TRUE(rig.shown().empty());
    PlcStatus status;
    ASSERT_TRUE(rig.session.statusRead(status));
    EXPECT_EQ(status.identity(), 0x7A31);
    EXPECT_EQ(status.mode(), 0x82);
    // The device memory of the seed, as an in-process simulator makes it.
    const std::vector<std::string> names{"D00100", "M0010", "R0003"};
    const std::vector<std::uint8_t> counts{2, 1, 1};
    ASSERT_TRUE(rig.session.readWordsByNames(names, counts));
    std::array<std::uint16_t, 4> words{};
    ASSERT_TRUE(rig.session.takeReadWords(words));
    const auto at = [&](const char* name) { return seeded.wordAt(seeded.address(name)); };
    EXPECT_EQ(words,
              (std::array<std::uint16_t, 4>{at("D00100"), at("D00101"), at("M0010"), at("R0003")}));
    std::array<std::uint8_t, 256> buffer{};
    std::size_t received = 0;
    for (std::uint16_t n = 0; n < 5; ++n) {
        ASSERT_TRUE(rig.session.linuxUpload(n, buffer, received, n == 0)) << n;
        EXPECT_EQ(received, n < 4 ? 208u : 108u) << n;
        EXPECT_EQ(buffer[5], n);
    }
    rig.session.disconnect();
}

TEST(PlcsimOnASerialLine, StoredPasswordCheckOnAnOlderCpu) {
    // The stored form makes plcsim an A-01 with a firmware that uses the stored check.
    Plcsim plcsim({"--pty", "--older-plc", "--password", "pw", "--password-form", "stored"});
    ASSERT_FALSE(plcsim.device().empty());
    Rig rig(plcsim.device());
    rig.settings.nConType = kConSerial;
    rig.settings.nRS232port = 0;
    rig.session.setProjectCpuType(0);
    rig.prompter.answerPassword("pw");
    EXPECT_TRUE(rig.session.connect()) << ::testing::PrintToString(rig.shown());
    EXPECT_FALSE(rig.protocol.stationHeaderFlag()) << "an older PLC answers without the header";
    EXPECT_EQ(rig.session.plcIdentity().label, "A-01");
    EXPECT_LT(rig.session.firmwareVersion(), 346u);
    EXPECT_EQ(rig.prompter.passwordRequests(), 1);
    rig.session.disconnect();
}

struct DialUpRig : Rig {
    explicit DialUpRig(const std::string& device) : Rig(device) {
        settings.nConType = kConDialUp;
        settings.nDIALport = 0;
        settings.strDIALcallNo = "1234";
        settings.strDIALexitNo = "9";
        settings.strDIALinitCmd = "ATZ";
        session.setProjectCpuType(26);
        com.setDialUpHook([this] {
            DialUpChannel* modem = com.dialUpChannel();
            if (modem == nullptr) {
                return false;
            }
            DialUpSequence sequence(*modem, settings, prompter, messages, clock);
            return sequence.run();
        });
    }
};

TEST(PlcsimThroughAModem, DialledConnectAndHangUp) {
    Plcsim plcsim({"--pty", "--modem", "--modem-delay", "200", "--password", "secret"});
    ASSERT_FALSE(plcsim.device().empty());
    for (int call = 0; call < 2; ++call) {
        DialUpRig rig(plcsim.device());
        rig.prompter.answerPassword("secret");
        ASSERT_TRUE(rig.session.connect()) << ::testing::PrintToString(rig.shown());
        EXPECT_EQ(rig.shown(), (std::vector<std::string>{
                                   rig.text(609) + "\nMODEM CODE : CONNECT 9600", rig.text(614)}));
        PlcStatus status;
        EXPECT_TRUE(rig.session.statusRead(status));
        EXPECT_EQ(status.identity(), 0x7A31);
        // Closing hangs up: the next call finds the modem in command mode again.
        rig.session.disconnect();
    }
}

} // namespace
} // namespace dlu

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
