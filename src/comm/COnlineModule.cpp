#include "comm/COnlineModule.h"

#include "comm/CCOMInterface.h"
#include "comm/CommSet.h"
#include "comm/FailureCause.h"
#include "common/Clock.h"
#include "common/Crypto.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "plc/DeviceAddress.h"

#include <algorithm>
#include <chrono>
#include <numeric>

namespace dlu {

namespace {

using namespace std::chrono_literals;

constexpr std::string_view kEncryptionFailed = "Encryption Failed.";

constexpr int kProtocolTests = 4;
constexpr auto kProtocolTestPause = 100ms;

// Password request kinds of 'w'.
constexpr std::uint8_t kAskLocked = 0;
constexpr std::uint8_t kLogIn = 1;
constexpr std::uint8_t kLogInAndStore = 2;

// Words of the shape of a PLC identity that the redundant-CPU switch compares the project's
// CPU type with. A CPU type code (0 to 40) never equals one of them, so the switch does
// nothing; kept as the PLCs' behaviour around it is not known well enough to change it.
constexpr std::array<std::uint16_t, 8> kRedundantIdentities{0x5803, 0x5813, 0x5823, 0x5833,
                                                            0x5843, 0x3152, 0x6D43, 0x6D53};
constexpr int kActiveLooks = 20;
constexpr auto kActiveLookPause = 100ms;

// The status read, in this order.
constexpr std::array<COnlineModule::NamedWords, 6> kStatusBlocks{
    {{"W0000", 8}, {"F0080", 1}, {"F0000", 1}, {"F1260", 1}, {"F0030", 1}, {"F0050", 1}}};

} // namespace

COnlineModule::COnlineModule(OnlineContext context, CryptoOpener openCrypto)
    : ctx_(context), openCrypto_(std::move(openCrypto)) {}

COnlineModule::~COnlineModule() = default;

std::uint8_t COnlineModule::connectionType() const { return ctx_.commSet.nConType; }

std::uint32_t COnlineModule::deviceAddress(std::string_view name) const {
    return DeviceAddress::fromName(name, projectCpuType_, connectionType() == kConSimulator);
}

bool COnlineModule::connect() {
    online_ = false;
    cpuTypeDeclined_ = false;
    if (!ctx_.com.openConnection(ctx_.commSet,
                                 [this](std::uint32_t n) { ctx_.protocol.setAttemptCount(n); })) {
        ctx_.prompter.messageWithCause(ctx_.messages(Msg::ChannelOpenFailed),
                                       ctx_.com.failureCause());
        return false;
    }

    auto test = CProtocol::TestResult::NoAnswer;
    for (int i = 0; i < kProtocolTests; ++i) {
        if (i > 0) {
            ctx_.clock.sleep(kProtocolTestPause);
        }
        if (connectStatus_) {
            const std::string& target = ctx_.com.target();
            connectStatus_(connectingText(target.empty() ? std::string_view("the PLC") : target,
                                          i + 1, kProtocolTests));
        }
        test = ctx_.protocol.protocolTest();
        if (test == CProtocol::TestResult::Answered) {
            break;
        }
    }
    if (connectStatus_) {
        connectStatus_({});
    }
    if (test == CProtocol::TestResult::NoAnswer) {
        std::string cause;
        if (ctx_.protocol.lastErrorCode() == kChannelTimeout) {
            const std::string& target = ctx_.com.target();
            cause = silentPeerCause(target.empty() ? std::string_view("the PLC") : target,
                                    kProtocolTests, ctx_.com.timeout().count());
        }
        errorReport(ErrorReport::Variant::Session, std::move(cause));
        return false;
    }
    if (test == CProtocol::TestResult::WrongLength) {
        ctx_.prompter.message(ctx_.messages(Msg::EchoCable), PromptButtons::Ok, PromptIcon::Stop);
        return false;
    }

    if (!identify()) {
        return false;
    }
    ctx_.protocol.clearPasswordToken();
    if (!login()) {
        return false;
    }

    online_ = true;
    const auto type = connectionType();
    if (type == kConEthernet) {
        ctx_.prompter.message(ctx_.messages(Msg::ConnectedEthernet));
    } else if (type == kConDialUp || type == kConLeasedLine) {
        ctx_.prompter.message(ctx_.messages(Msg::ConnectedModem));
    }
    return true;
}

bool COnlineModule::addressBlocks(std::span<const NamedWords> names, CpuType type,
                                  std::span<CProtocol::ReadBlock> blocks) {
    const bool simulator = connectionType() == kConSimulator;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::uint32_t address = DeviceAddress::fromName(names[i].name, type, simulator);
        if (address == 0) {
            // A CPU type without addresses: reading address 0 would ask the PLC for
            // something nobody meant.
            ctx_.protocol.setRefused(kErrorNoAddress);
            return false;
        }
        blocks[i] = {address, names[i].words};
    }
    return true;
}

bool COnlineModule::readIdentity(CpuType addressType) {
    // A failed read is not checked: its 0xFF bytes name no known CPU.
    std::array<std::uint16_t, 2> words{0xFFFF, 0xFFFF};
    constexpr std::array<NamedWords, 2> kIdentity{{{"F0080", 1}, {"F1270", 1}}};
    std::array<CProtocol::ReadBlock, 2> blocks{};
    const bool ok =
        addressBlocks(kIdentity, addressType, blocks) && ctx_.protocol.readWords(blocks, words);
    if (!ok) {
        words = {0xFFFF, 0xFFFF};
    }
    identityWord_ = words[0];
    firmware_ = words[1];
    return ok;
}

void COnlineModule::detectCpuType() {
    for (const CpuType family : DeviceAddress::probeTypes()) {
        if (!readIdentity(family)) {
            continue;
        }
        const auto match = PlcIdentification::identify(identityWord_, kNoCpuType);
        if (!match.known) {
            continue;
        }
        const CpuType named = CpuTypeTable::parse(match.label);
        if (named == kNoCpuType ||
            CpuTypeTable::addressMap(named) == CpuTypeTable::addressMap(family)) {
            projectCpuType_ = named == kNoCpuType ? family : named;
            return;
        }
    }
    identityWord_ = 0xFFFF;
}

bool COnlineModule::identify() {
    if (projectCpuType_ == kNoCpuType) {
        detectCpuType();
    } else {
        readIdentity(projectCpuType_);
    }

    identity_ = PlcIdentification::identify(identityWord_, projectCpuType_);
    if (!identity_.known) {
        ctx_.prompter.message(ctx_.messages(Msg::UnknownCpu), PromptButtons::Ok, PromptIcon::Stop);
        return false;
    }
    const std::string details = PlcIdentification::projectText(projectCpuType_) + identity_.plcText;
    switch (identity_.match) {
    case CpuMatch::Refused:
        ctx_.prompter.message(std::string(ctx_.messages(Msg::CpuRefused)) + details,
                              PromptButtons::Ok, PromptIcon::Stop);
        return false;
    case CpuMatch::RefusedWarning:
        ctx_.prompter.message(std::string(ctx_.messages(Msg::CpuWarning)) + details,
                              PromptButtons::Ok, PromptIcon::Stop);
        return false;
    case CpuMatch::Warned:
        ctx_.prompter.message(std::string(ctx_.messages(Msg::CpuWarning)) + details,
                              PromptButtons::Ok, PromptIcon::Warning);
        return true;
    case CpuMatch::Asked:
        if (ctx_.prompter.message(std::string(ctx_.messages(Msg::CpuWarning)) + details + "\n\n" +
                                      std::string(ctx_.messages(Msg::CpuPairUnchecked)),
                                  PromptButtons::YesNoDefaultNo,
                                  PromptIcon::Warning) == PromptAnswer::Yes) {
            return true;
        }
        cpuTypeDeclined_ = true;
        return false;
    case CpuMatch::Accepted:
        return true;
    }
    return true;
}

bool COnlineModule::login() {
    return passwordScheme(plcCpuCode(), firmware_) == PasswordScheme::StoredCheck
               ? storedPasswordCheck()
               : passwordExchange();
}

const PasswordCipher& COnlineModule::cipher() {
    if (!cipher_) {
        crypto_ = openCrypto_ ? openCrypto_() : nullptr;
        cipher_ = std::make_unique<PasswordCipher>(crypto_.get());
    }
    return *cipher_;
}

std::optional<PasswordBlock> COnlineModule::encrypted(std::string_view password, bool olderForm) {
    std::string failedStep;
    auto block = olderForm ? cipher().encryptOld(password, &failedStep)
                           : cipher().encrypt(password, &failedStep);
    if (!block) {
        if (!failedStep.empty()) {
            ctx_.prompter.message(failedStep, PromptButtons::Ok, PromptIcon::Stop);
        }
        ctx_.prompter.message(kEncryptionFailed, PromptButtons::Ok, PromptIcon::Stop);
    }
    return block;
}

void COnlineModule::transactionLost() {
    if (connectionType() == kConDialUp) {
        ctx_.com.hangUp();
    }
    ctx_.prompter.message(ctx_.messages(Msg::ConnectionClosed), PromptButtons::Ok,
                          PromptIcon::Stop);
    errorReport();
}

bool COnlineModule::storedPasswordCheck() {
    std::array<std::uint16_t, 8> words{};
    constexpr std::array<NamedWords, 1> kStored{{{"W0000", 8}}};
    std::array<CProtocol::ReadBlock, 1> block{};
    if (!addressBlocks(kStored, projectCpuType_, block) ||
        !ctx_.protocol.readWords(block, words, words.size())) {
        transactionLost();
        return false;
    }
    PasswordBlock stored{};
    for (std::size_t i = 0; i < words.size(); ++i) {
        stored[2 * i] = static_cast<std::uint8_t>(words[i] & 0xFF);
        stored[2 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
    }
    if (!PasswordCipher::hasStoredPassword(stored)) {
        return true;
    }

    const auto entered = ctx_.prompter.password(PasswordCipher::kMaxLength);
    if (!entered) {
        return false;
    }
    const std::string text = PasswordCipher::fitted(*entered);
    bool match = false;
    if (stored[0] <= PasswordCipher::kMaxLength) {
        const auto block16 = encrypted(text, false);
        if (!block16) {
            return false;
        }
        match = *block16 == stored;
    } else {
        // Plain form: the stored bytes are the password itself, zero after it up to byte 13.
        match = std::equal(text.begin(), text.end(), stored.begin(), [](char c, std::uint8_t b) {
            return static_cast<std::uint8_t>(c) == b;
        });
        for (std::size_t i = text.size(); match && i <= 13; ++i) {
            match = stored[i] == 0;
        }
    }
    if (!match) {
        ctx_.prompter.message(ctx_.messages(Msg::StoredPasswordWrong), PromptButtons::Ok,
                              PromptIcon::Stop);
    }
    return match;
}

bool COnlineModule::passwordTransaction(std::uint8_t kind, const PasswordBlock& block,
                                        const PasswordBlock& newBlock, std::uint8_t& answer) {
    std::array<std::uint8_t, CProtocol::kPasswordBlockSize> request{};
    request[0] = kind;
    std::copy(block.begin(), block.end(), request.begin() + 2);
    std::copy(newBlock.begin(), newBlock.end(), request.begin() + 18);
    if (!ctx_.protocol.password(request, answer)) {
        transactionLost();
        return false;
    }
    return true;
}

bool COnlineModule::passwordExchange() {
    const PasswordBlock none{};
    std::uint8_t answer = 0;
    if (!passwordTransaction(kAskLocked, none, none, answer)) {
        return false;
    }
    if (answer != 1) {
        return true;
    }

    const auto entered = ctx_.prompter.password(PasswordCipher::kMaxLength);
    if (!entered) {
        return false;
    }
    const std::string text = PasswordCipher::fitted(*entered);
    const auto current = encrypted(text, false);
    if (!current) {
        return false;
    }
    if (!passwordTransaction(kLogIn, *current, none, answer)) {
        return false;
    }
    if (answer != 0) {
        ctx_.protocol.setPasswordToken(*current);
        return true;
    }

    // Older forms: log in with them, then replace the PLC's block by the current form.
    const auto old = encrypted(text, true);
    if (!old) {
        return false;
    }
    for (const PasswordBlock& form : {*old, PasswordCipher::plain(text)}) {
        if (!passwordTransaction(kLogIn, form, none, answer)) {
            return false;
        }
        if (answer == 0) {
            continue;
        }
        if (!passwordTransaction(kLogInAndStore, form, *current, answer)) {
            return false;
        }
        if (answer != 0) {
            ctx_.protocol.setPasswordToken(*current);
            return true;
        }
    }
    ctx_.prompter.message(ctx_.messages(Msg::InvalidPassword), PromptButtons::Ok, PromptIcon::Stop);
    return false;
}

void COnlineModule::disconnect() {
    ctx_.com.close();
    online_ = false;
}

bool COnlineModule::statusRead(PlcStatus& status) {
    std::array<CProtocol::ReadBlock, kStatusBlocks.size()> blocks{};
    std::array<std::uint16_t, 13> words{};
    // "W0000" comes first: an older CPU keeps its password there.
    if (!addressBlocks(kStatusBlocks, projectCpuType_, blocks) ||
        !ctx_.protocol.readWords(blocks, words, kStatusBlocks[0].words)) {
        return false;
    }
    f1260_ = words[10];
    words[10] &= 0x0001;
    status.words = words;
    return true;
}

std::uint16_t COnlineModule::changeCpuMode(std::uint16_t mode) {
    return ctx_.protocol.changeCpuMode(mode);
}

bool COnlineModule::beginDownload() { return ctx_.protocol.beginDownload(); }

bool COnlineModule::makeRedundantCpuActive() {
    const bool redundant = std::find(kRedundantIdentities.begin(), kRedundantIdentities.end(),
                                     projectCpuType_) != kRedundantIdentities.end();
    if (!redundant || (f1260_ & 0x04) == 0) {
        return true;
    }
    if (ctx_.prompter.message(ctx_.messages(Msg::MakeActive), PromptButtons::YesNo,
                              PromptIcon::Question) != PromptAnswer::Yes) {
        return false;
    }
    ctx_.protocol.changeCpuMode(CProtocol::kModeActive);
    for (int i = 0; i < kActiveLooks; ++i) {
        ctx_.clock.sleep(kActiveLookPause);
        if ((f1260_ & 0x04) == 0) {
            return true;
        }
    }
    return false;
}

bool COnlineModule::readWordsByNames(std::span<const std::string> names,
                                     std::span<const std::uint8_t> counts) {
    wordCount_ = 0;
    if (names.empty() || names.size() > kMaxReadNames || counts.size() != names.size()) {
        return false;
    }
    std::array<CProtocol::ReadBlock, kMaxReadNames> blocks{};
    std::size_t total = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::uint32_t address = deviceAddress(names[i]);
        if (address == 0) {
            return false;
        }
        blocks[i] = {address, counts[i]};
        total += counts[i];
    }
    if (total == 0 || total > readBuffer_.size()) {
        return false;
    }
    readBuffer_.fill(0);
    if (!ctx_.protocol.readWords(std::span(blocks).first(names.size()),
                                 std::span(readBuffer_).first(total))) {
        errorReport(); // clears the online flag when the link is gone, else keeps it
        return false;
    }
    wordCount_ = static_cast<int>(total);
    return true;
}

bool COnlineModule::takeReadWords(std::span<std::uint16_t> out) {
    if (wordCount_ == 0) {
        return false;
    }
    if (wordCount_ > 0) {
        const auto n = std::min(out.size(), static_cast<std::size_t>(wordCount_));
        std::copy_n(readBuffer_.begin(), n, out.begin());
    }
    wordCount_ = 0;
    return true;
}

int COnlineModule::writeByName(std::string_view name, const WriteRequest& request) {
    const bool wordForm = CpuTypeTable::addressesSInWords(projectCpuType_);
    const std::uint32_t address = deviceAddress(name);
    if (address == 0) {
        return 0;
    }
    const bool byteForm = !wordForm && !name.empty() && (name[0] == 'S' || name[0] == 's');
    const bool ok = byteForm ? ctx_.protocol.writeBytes(address, request.bytes)
                             : ctx_.protocol.writeWords(address, request.words);
    if (ok) {
        wordCount_ = -1;
    } else {
        errorReport(); // clears the online flag when the link is gone, else keeps it
    }
    return 0;
}

bool COnlineModule::downloadBlock(std::uint8_t kind, std::uint8_t id, std::uint16_t value1,
                                  std::uint16_t value2, std::span<const std::uint8_t> data) {
    return ctx_.protocol.downloadBlock(kind, id, value1, value2, data);
}

bool COnlineModule::linuxUpload(std::uint16_t blockNumber, std::span<std::uint8_t> out,
                                std::size_t& received, bool send) {
    return ctx_.protocol.upload('X', blockNumber, send, out, received);
}

bool COnlineModule::errorReport(ErrorReport::Variant variant, std::string cause,
                                std::string_view step) {
    if (cause.empty()) {
        cause = ctx_.com.failureCause();
    }
    const bool stays =
        ErrorReport(ctx_.prompter, ctx_.messages)
            .report(ctx_.protocol.lastErrorCode(), connectionType(), variant, cause, step);
    if (!stays) {
        online_ = false;
    }
    return stays;
}

} // namespace dlu
