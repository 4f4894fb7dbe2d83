// The password login of the session against the simulator's locked PLCs, and the simulator's
// identity presets seen through a session.

#include "comm/PasswordCipher.h"
#include "common/Crypto.h"
#include "sim/PlcIdentity.h"
#include "sim/SimSessionRig.h"
#include "sim/SimulatorChannel.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dlu {
namespace {

using sim::PasswordForm;
using sim::PlcConfig;

using Rig = test::SimSessionRig;

PlcConfig preset(const char* label, PasswordForm form, const char* password) {
    auto config = sim::presetConfig(label, form, password);
    EXPECT_TRUE(config.has_value()) << label;
    return config.value_or(PlcConfig{});
}

PasswordBlock currentForm(const std::string& password) {
    const auto crypto = Crypto::open();
    return PasswordCipher(crypto.get()).encrypt(password).value();
}

TEST(SimPassword, LoginByFormAndAnswer) {
    const std::string fourteen = "abcdefghijklmn";
    struct Case {
        const char* name;
        const char* label;
        PasswordForm form;
        std::string password;
        std::vector<std::optional<std::string>> typed;
        bool connects;
        int message; // 0: nothing shown
        int asks;
    };
    using F = PasswordForm;
    const std::string thirteen = fourteen.substr(0, 13);
    const std::vector<Case> cases = {
        {"stored, right", "A-01", F::Stored, "secret", {"secret"}, true, 0, 1},
        {"stored, wrong", "A-03", F::Stored, "secret", {"Secret"}, false, 605, 1},
        {"stored, cancel", "A-01", F::Stored, "secret", {std::nullopt}, false, 0, 1},
        {"stored on B-01", "B-01", F::Stored, "plc", {"plc"}, true, 0, 1},
        {"stored plain, right", "A-02", F::StoredPlain, "secret", {"secret"}, true, 0, 1},
        {"stored plain, wrong", "A-02", F::StoredPlain, "secret", {"secreT"}, false, 605, 1},
        {"stored plain, a prefix", "A-04", F::StoredPlain, "secret", {"secr"}, false, 605, 1},
        {"stored plain, longer", "A-04", F::StoredPlain, "secret", {"secrets"}, false, 605, 1},
        {"stored plain, 14", "A-02", F::StoredPlain, fourteen, {fourteen}, true, 0, 1},
        {"stored plain, 13 of 14", "A-02", F::StoredPlain, fourteen, {thirteen}, false, 605, 1},
        {"exchange, right", "A-21", F::Exchange, "secret", {"secret"}, true, 0, 1},
        {"exchange, wrong", "A-21", F::Exchange, "secret", {"public"}, false, 600, 1},
        {"exchange, cancel", "A-21", F::Exchange, "secret", {std::nullopt}, false, 0, 1},
        {"exchange, 14 characters", "C-04", F::Exchange, fourteen, {fourteen}, true, 0, 1},
        {"exchange, unlocked", "A-21", F::Exchange, "", {}, true, 0, 0},
        {"older form, right", "A-13", F::ExchangeOld, "secret", {"secret"}, true, 0, 1},
        {"plain form, right", "A-10", F::ExchangePlain, "secret", {"secret"}, true, 0, 1},
        {"plain form, wrong", "A-10", F::ExchangePlain, "secret", {"terces"}, false, 600, 1},
    };
    for (const auto& c : cases) {
        Rig rig(preset(c.label, c.form, c.password.c_str()));
        for (const auto& t : c.typed) {
            rig.prompter.answerPassword(t);
        }
        EXPECT_EQ(rig.session.connect(), c.connects) << c.name;
        EXPECT_EQ(rig.prompter.passwordRequests(), c.asks) << c.name;
        if (c.asks > 0) {
            EXPECT_EQ(rig.prompter.passwordMaxLength(), PasswordCipher::kMaxLength) << c.name;
        }
        if (c.message == 0) {
            EXPECT_TRUE(rig.shown().empty()) << c.name << ": " << rig.shown().front();
        } else {
            ASSERT_EQ(rig.shown(), std::vector<std::string>{rig.text(c.message)}) << c.name;
            EXPECT_EQ(rig.prompter.shown().back().icon, PromptIcon::Stop) << c.name;
        }
    }
}

TEST(SimPassword, StoredBlockWithByteZeroZeroNeverAsks) {
    // A block that would pass the checksum test, but says "no password" in byte 0.
    auto config = preset("A-02", PasswordForm::Stored, "");
    Rig rig(config);
    const auto w = rig.plc.address("W0000");
    PasswordBlock block{0, 's', 'e', 'c', 'r', 'e', 't'};
    block[15] = PasswordCipher::checksum(block);
    for (std::uint32_t i = 0; i < 8; ++i) {
        rig.plc.setWord(w + 2 * i,
                        static_cast<std::uint16_t>(block[2 * i] | (block[2 * i + 1] << 8)));
    }
    ASSERT_EQ(rig.plc.heldPasswordBlock(), block) << "the simulator reads W0000 low byte first";
    EXPECT_TRUE(rig.session.connect());
    EXPECT_EQ(rig.prompter.passwordRequests(), 0);

    // The same block with byte 0 set is a plain stored password.
    block[0] = 'x';
    block[15] = PasswordCipher::checksum(block);
    for (std::uint32_t i = 0; i < 8; ++i) {
        rig.plc.setWord(w + 2 * i,
                        static_cast<std::uint16_t>(block[2 * i] | (block[2 * i + 1] << 8)));
    }
    rig.prompter.answerPassword("xsecret");
    EXPECT_TRUE(rig.session.connect());
    EXPECT_EQ(rig.prompter.passwordRequests(), 1);
}

TEST(SimPassword, OlderFormsAreReplacedByTheCurrentOneAtLogin) {
    for (const auto form : {PasswordForm::ExchangeOld, PasswordForm::ExchangePlain}) {
        Rig rig(preset("A-21", form, "secret"));
        ASSERT_NE(rig.plc.heldPasswordBlock(), currentForm("secret"));
        rig.prompter.answerPassword("secret");
        ASSERT_TRUE(rig.session.connect());
        EXPECT_EQ(rig.plc.passwordStoreCount(), 1u);
        EXPECT_EQ(rig.plc.heldPasswordBlock(), currentForm("secret"));
        const auto token = rig.protocol.passwordToken();
        EXPECT_TRUE(std::equal(token.begin(), token.end(), currentForm("secret").begin()))
            << "the token is the current form";

        // The next login goes in with the current form at the first try.
        rig.session.disconnect();
        const auto logins = rig.plc.loginCount();
        const auto requests = rig.plc.requestCount();
        rig.prompter.answerPassword("secret");
        ASSERT_TRUE(rig.session.connect());
        EXPECT_EQ(rig.plc.loginCount(), logins + 1);
        EXPECT_EQ(rig.plc.passwordStoreCount(), 1u);
        // 't', the identity read, 'w' kind 0 and one 'w' kind 1.
        EXPECT_EQ(rig.plc.requestCount(), requests + 4);
    }
}

TEST(SimPassword, FailedPasswordTransactionShows604) {
    struct Case {
        const char* name;
        sim::FaultConfig faults;
        std::vector<std::string> after604; // what the error report adds
        int asks;
    };
    sim::FaultConfig everyW;
    everyW.errorReplies.push_back({std::uint8_t{'w'}, 0, 15});
    // Requests: 't' 1, 'R' 2, 'w' kind 0 3, kind 1 from 4 on, with every retry.
    sim::FaultConfig loginRejected;
    sim::FaultConfig loginLost;
    for (std::uint64_t n = 4; n < 12; ++n) {
        loginRejected.errorReplies.push_back({std::nullopt, n, 9});
        loginLost.dropRequests.insert(n);
    }
    const Messages en(Language::English);
    const std::vector<Case> cases = {
        {"kind 0 answered with E", everyW, {std::string(en(602)), std::string(en(632))}, 0},
        {"kind 1 answered with E", loginRejected, {std::string(en(602)), std::string(en(626))}, 1},
        {"kind 1 not answered", loginLost, {"Simulator Error"}, 1},
    };
    for (const auto& c : cases) {
        Rig rig(preset("A-21", PasswordForm::Exchange, "secret"), c.faults);
        rig.prompter.answerPassword("secret");
        EXPECT_FALSE(rig.session.connect()) << c.name;
        EXPECT_EQ(rig.prompter.passwordRequests(), c.asks) << c.name;
        auto expected = std::vector<std::string>{rig.text(604)};
        expected.insert(expected.end(), c.after604.begin(), c.after604.end());
        EXPECT_EQ(rig.shown(), expected) << c.name;
    }
}

// A modem whose call is up, leading to the in-process simulator; it counts its hang-ups.
class SimModem final : public DialUpChannel {
public:
    SimModem(sim::PlcSimulator& plc, int& hangUps) : line_(plc), hangUps_(hangUps) {}
    bool open(const OpenParams&) override {
        line_.reopen();
        return true;
    }
    void setTimeout(std::chrono::milliseconds t) override { line_.setTimeout(t); }
    bool write(std::span<const std::uint8_t> b) override { return line_.write(b); }
    ChannelRead read() override { return line_.read(); }
    void close() override { line_.close(); }
    bool dial(std::string_view, std::string_view) override { return true; }
    bool pollCall(std::string& last) override {
        last = "CONNECT 9600";
        return true;
    }
    bool hangUp() override {
        ++hangUps_;
        return true;
    }

private:
    sim::SimulatorChannel line_;
    int& hangUps_;
};

struct SimModemFactory final : ChannelFactory {
    explicit SimModemFactory(sim::PlcSimulator& p) : plc(p) {}
    std::unique_ptr<DeviceChannel> create(std::uint8_t) override {
        return std::make_unique<SimModem>(plc, hangUps);
    }
    std::uint32_t resolveHostName(std::string_view) override { return 0; }
    sim::PlcSimulator& plc;
    int hangUps = 0;
};

// A dial-up line whose password transaction is lost is hung up before the error is shown, so
// that the call does not stay up (and cost) after the failed connect.
TEST(SimPassword, LostPasswordTransactionHangsUpTheDialUpLine) {
    sim::FaultConfig everyW;
    everyW.errorReplies.push_back({std::uint8_t{'w'}, 0, 15});
    sim::FaultConfig storedRead; // 't' 1, identity 2, the W0000 read 3 and its retry 4
    storedRead.errorReplies.push_back({std::nullopt, 3, 9});
    storedRead.errorReplies.push_back({std::nullopt, 4, 9});
    const std::vector<std::pair<PlcConfig, sim::FaultConfig>> cases = {
        {preset("A-21", PasswordForm::Exchange, "secret"), everyW},
        {preset("A-01", PasswordForm::Stored, "secret"), storedRead},
    };
    for (const auto& [config, faults] : cases) {
        sim::PlcSimulator plc(config, faults);
        SimModemFactory factory(plc);
        test::ScriptedPrompter prompter;
        CCOMInterface com(factory, prompter);
        com.setDialUpHook([] { return true; });
        CProtocol protocol(com);
        CommSet settings;
        settings.setDefaults();
        settings.nConType = kConDialUp;
        const Messages messages(Language::English);
        test::FakeClock clock;
        COnlineModule session(OnlineContext{settings, com, protocol, prompter, messages, clock});
        session.setProjectCpuType(plc.config().cpuType);
        EXPECT_FALSE(session.connect()) << plc.config().cpuType;
        EXPECT_EQ(factory.hangUps, 1) << plc.config().cpuType;
        ASSERT_FALSE(prompter.texts().empty());
        EXPECT_EQ(prompter.texts().front(), messages(604));
    }
}

// A crypto port whose one named step fails; the others are the real library's.
class FailingCrypto final : public Crypto {
public:
    explicit FailingCrypto(std::string step) : real_(Crypto::open()), step_(std::move(step)) {}
    std::optional<Md5Digest> md5(std::span<const std::uint8_t> d) const override {
        return step_ == "md5" ? std::nullopt : real_->md5(d);
    }
    std::optional<Sha1Digest> sha1(std::span<const std::uint8_t> d) const override {
        return step_ == "sha1" ? std::nullopt : real_->sha1(d);
    }
    std::optional<Sha512Digest> sha512(std::span<const std::uint8_t> d) const override {
        return real_->sha512(d);
    }
    bool rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> d) const override {
        return step_ != "rc4" && real_->rc4(key, d);
    }
    std::optional<std::size_t> aes128CbcDecrypt(const Aes128Key& k, const Aes128Iv& iv,
                                                std::span<std::uint8_t> d) const override {
        return real_->aes128CbcDecrypt(k, iv, d);
    }

private:
    std::unique_ptr<Crypto> real_;
    std::string step_;
};

// A failing digest or cipher call never yields a block: the step's text, "Encryption
// Failed.", and no block of that form reaches the PLC.
TEST(SimPassword, FailingCryptoStepFailsTheConnect) {
    struct Case {
        const char* label;
        PasswordForm form;
        const char* step;
        const char* text;
        int passwordRequests; // 'w' requests the PLC receives
    };
    const Case cases[] = {
        {"A-01", PasswordForm::Stored, "md5", "[COnlineModule::Encrypt]CryptHashData Fail", 0},
        {"A-21", PasswordForm::Exchange, "rc4", "[COnlineModule::Encrypt]CryptEncrypt Fail", 1},
        {"A-21", PasswordForm::ExchangeOld, "sha1", "[COnlineModule::EncryptOld]CryptHashData Fail",
         2}, // kind 0, then kind 1 with the current form
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Rig rig(preset(c.label, c.form, "secret"));
        COnlineModule session(
            OnlineContext{rig.settings, rig.com, rig.protocol, rig.prompter, rig.messages,
                          rig.clock},
            [step = std::string(c.step)] { return std::make_unique<FailingCrypto>(step); });
        session.setProjectCpuType(rig.plc.config().cpuType);
        int passwordRequests = 0;
        rig.plc.setFrameLog([&](bool sent, std::span<const std::uint8_t> frame) {
            passwordRequests += !sent && frame.size() > 2 && frame[2] == 'w' ? 1 : 0;
        });
        rig.prompter.answerPassword("secret");
        EXPECT_FALSE(session.connect());
        EXPECT_EQ(rig.shown(), (std::vector<std::string>{c.text, "Encryption Failed."}));
        EXPECT_EQ(passwordRequests, c.passwordRequests);
        EXPECT_EQ(rig.plc.passwordStoreCount(), 0u);
    }
}

TEST(SimPresets, EveryIdentityIsFoundByTheProjectTypeItIsUsedWith) {
    // C-10 and C-11 refuse every CPU type that has device addresses: no project connects.
    const std::vector<std::string_view> refusing{"C-10", "C-11"};
    for (const auto& identity : sim::PlcIdentities::all()) {
        PlcConfig config;
        config.identityWord = identity.word;
        config.cpuType = identity.cpuType;
        config.firmware = *sim::PlcIdentities::firmwareFor(identity.word, false);
        config.password = "pw";
        Rig rig(config);
        rig.prompter.answerPassword("pw");
        const bool refused =
            std::find(refusing.begin(), refusing.end(), identity.label) != refusing.end();
        EXPECT_EQ(rig.session.connect(), !refused) << identity.label;
        EXPECT_EQ(rig.session.identityWord(), identity.word) << identity.label;
        EXPECT_EQ(rig.session.plcIdentity().label, identity.label);
        if (!refused) { // identity and firmware are read where the PLC's CPU type keeps them
            EXPECT_EQ(rig.session.firmwareVersion(), config.firmware) << identity.label;
        }
        EXPECT_EQ(rig.prompter.passwordRequests(), refused ? 0 : 1) << identity.label;

        // Only the older CPUs can keep a stored block.
        const char code = static_cast<char>(identity.word >> 8);
        const bool older = (code >= '1' && code <= '4') || code == 'B';
        EXPECT_EQ(sim::presetConfig(identity.label, PasswordForm::Stored).has_value(), older)
            << identity.label;
    }
    EXPECT_FALSE(sim::presetConfig("A-99").has_value());
}

} // namespace
} // namespace dlu
