#pragma once

#include "comm/CProtocol.h"
#include "comm/ErrorReport.h"
#include "comm/PasswordCipher.h"
#include "common/Crypto.h"
#include "plc/CpuTypeTable.h"
#include "plc/PlcIdentification.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dlu {

class CCOMInterface;
class Clock;
class CommSet;
class Messages;
class Prompter;

// The process-wide objects a session works with, owned by the application and lent to every
// session.
struct OnlineContext {
    CommSet& commSet;
    CCOMInterface& com;
    CProtocol& protocol;
    Prompter& prompter;
    const Messages& messages;
    Clock& clock;
};

// The 13 words of a status read: "W0000" (8 words), "F0080", "F0000", "F1260" bit 0,
// "F0030", "F0050".
struct PlcStatus {
    std::array<std::uint16_t, 13> words{};

    std::uint16_t identity() const { return words[8]; }
    std::uint16_t mode() const { return words[9]; }
    bool isStop() const { return (mode() & 0x02) != 0; }
    bool isRemote() const { return (mode() & 0x80) != 0; }
};

// One session with a PLC: connect (identification and password login), status and CPU mode,
// and the transfers by device name. Dialogs and commands each hold one; all share the
// protocol object and the channel of the context.
class COnlineModule {
public:
    // A device name and a word count of a read.
    struct NamedWords {
        std::string_view name;
        std::uint8_t words;
    };

    using PasswordScheme = dlu::PasswordScheme;

    // Request of a write by name: words, or raw bytes for "S" names of the byte form.
    struct WriteRequest {
        std::span<const std::uint16_t> words;
        std::span<const std::uint8_t> bytes;
    };

    static constexpr std::size_t kMaxReadNames = CProtocol::kMaxReadBlocks;
    static constexpr std::size_t kReadBufferWords = 136;

    // `openCrypto` gives the cryptography of the password login (tests hand in one that fails).
    explicit COnlineModule(OnlineContext context, CryptoOpener openCrypto = &Crypto::open);
    ~COnlineModule();

    // kNoCpuType: take the CPU type of whatever PLC answers (a status check needs no project).
    void setProjectCpuType(CpuType type) { projectCpuType_ = type; }
    CpuType projectCpuType() const { return projectCpuType_; }

    // Opens the channel, finds the PLC, checks its CPU against the project's type and logs
    // in. False after the message of the failing step; the channel then stays open and the
    // caller disconnects.
    bool connect();
    // Closes the channel; nothing is sent.
    void disconnect();

    bool online() const { return online_; }
    std::uint8_t plcCpuCode() const { return static_cast<std::uint8_t>(identityWord_ >> 8); }
    std::uint16_t identityWord() const { return identityWord_; }
    std::uint32_t firmwareVersion() const { return firmware_; }
    const PlcIdentityMatch& plcIdentity() const { return identity_; }
    // The last connect stopped because the user answered No to a CPU type pair the
    // identification table does not name (nothing after the identity read was sent).
    bool cpuTypeDeclined() const { return cpuTypeDeclined_; }

    // The password scheme of a PLC by its CPU code and firmware version.
    static PasswordScheme passwordScheme(std::uint8_t cpuCode, std::uint32_t firmware) {
        return PlcIdentification::passwordScheme(cpuCode, firmware);
    }

    // One 'R' of six blocks; keeps the whole "F1260" word.
    bool statusRead(PlcStatus& status);
    std::uint16_t keptF1260() const { return f1260_; }

    // 'M' with 16 (Remote RUN), 32 (Remote STOP) or 20 (Active); the value, 0 on failure.
    std::uint16_t changeCpuMode(std::uint16_t mode);
    bool beginDownload();
    bool makeRedundantCpuActive();

    // Reads `counts[i]` words from each of 1 to 49 names; nothing is sent when a name is
    // invalid or the count is out of bounds. The words wait for takeReadWords().
    bool readWordsByNames(std::span<const std::string> names, std::span<const std::uint8_t> counts);
    // False while nothing is waiting; else hands the words over (when `out` is given) and
    // clears the buffer. After a write the mark (-1) counts as waiting.
    bool takeReadWords(std::span<std::uint16_t> out = {});
    int waitingWordCount() const { return wordCount_; }

    // Writes one name: words, or for "S" names of the byte-form types the raw bytes. Returns
    // 0 in every case; a successful write leaves the mark that takeReadWords() reports.
    int writeByName(std::string_view name, const WriteRequest& request);

    // 'D' and 'U' through the shared protocol object.
    bool downloadBlock(std::uint8_t kind, std::uint8_t id, std::uint16_t value1,
                       std::uint16_t value2, std::span<const std::uint8_t> data);
    bool linuxUpload(std::uint16_t blockNumber, std::span<std::uint8_t> out, std::size_t& received,
                     bool send);

    // The error report of the last failed transaction. A failure of the link or of a frame
    // ends the session: the online flag is then cleared.
    // `cause` goes under the message of a channel error; empty: what the channel says.
    // `step` names the request that failed (see ErrorReport::report).
    bool errorReport(ErrorReport::Variant variant = ErrorReport::Variant::Session,
                     std::string cause = {}, std::string_view step = {});

    // Device address of a name for the project's CPU type and the current connection.
    std::uint32_t deviceAddress(std::string_view name) const;

    // Told before each protocol test of a connect ("Connecting to 127.0.0.1:10266 (attempt 2
    // of 4)"), and with an empty text when the connect phase is over.
    using ConnectStatusSink = std::function<void(std::string_view)>;
    void setConnectStatusSink(ConnectStatusSink sink) { connectStatus_ = std::move(sink); }

private:
    bool identify();
    bool readIdentity(CpuType addressType);
    void detectCpuType();
    bool login();
    bool storedPasswordCheck();
    bool passwordExchange();
    bool passwordTransaction(std::uint8_t kind, const PasswordBlock& block,
                             const PasswordBlock& newBlock, std::uint8_t& answer);
    // A password block in the current or older form; nothing after the failing step's text
    // and "Encryption Failed." have been shown.
    std::optional<PasswordBlock> encrypted(std::string_view password, bool olderForm);
    // Addresses of `names` for the project's CPU type into `blocks`; false, with the refusal
    // left for the error report, when one has none (nothing may then be sent).
    bool addressBlocks(std::span<const NamedWords> names, CpuType type,
                       std::span<CProtocol::ReadBlock> blocks);
    void transactionLost();
    const PasswordCipher& cipher();
    std::uint8_t connectionType() const;

    OnlineContext ctx_;
    CryptoOpener openCrypto_;
    CpuType projectCpuType_ = kNoCpuType;
    bool online_ = false;
    bool cpuTypeDeclined_ = false;
    ConnectStatusSink connectStatus_;
    std::uint16_t identityWord_ = 0xFFFF;
    std::uint32_t firmware_ = 0;
    PlcIdentityMatch identity_;
    std::uint16_t f1260_ = 0;

    std::array<std::uint16_t, kReadBufferWords> readBuffer_{};
    int wordCount_ = 0;

    std::unique_ptr<Crypto> crypto_;
    std::unique_ptr<PasswordCipher> cipher_;
};

} // namespace dlu
