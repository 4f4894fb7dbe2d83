#pragma once

#include "comm/LoaderFrame.h"
#include "comm/PasswordCipher.h"
#include "plc/CpuTypeTable.h"
#include "sim/RequestReader.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dlu {
class PdmImage;
}

namespace dlu::sim {

// Position of the PLC's key switch and the state of its CPU.
enum class KeySwitch { Local, Remote };
enum class RunState { Run, Stop, Pause };

// CPU mode word ("F0000"), as the status read shows it:
//   bit 0 (0x01) RUN, bit 1 (0x02) STOP, bit 2 (0x04) PAUSE - exactly one is set;
//   bit 7 (0x80) the key switch is at REMOTE (clear: LOCAL).
// So 0x82 is Remote STOP and 0x01 Local RUN. The other bits stay 0.
std::uint16_t modeWord(KeySwitch key, RunState state);

// How a locked PLC keeps its connection password, and so how the program logs in to it.
//   Exchange       'w' login; the PLC holds the block in the current encrypted form.
//   ExchangeOld    'w' login; the PLC holds the older RC4 form. The program logs in with that
//                  and stores the current form with request kind 2, which the PLC then holds.
//   ExchangePlain  the same with the password bytes in plain.
//   Stored         an older CPU: the encrypted block sits in "W0000" (8 words, each word low
//                  byte first) and the program compares it itself; such a CPU knows no 'w'.
//   StoredPlain    the same with the password bytes themselves in "W0000".
// Which scheme the program uses follows from the identity and the firmware version (see
// PlcIdentities::usesStoredCheck), so the form has to agree with them.
enum class PasswordForm { Exchange, ExchangeOld, ExchangePlain, Stored, StoredPlain };

bool isStoredForm(PasswordForm form);

struct PlcConfig {
    std::uint16_t identityWord = 0x7A31; // "F0080": CPU code 'z', sub-code '1'
    CpuType cpuType = 26;                // chooses the address column of the device memory
    std::uint16_t firmware = 400;        // "F1270"
    std::uint8_t station = 0xFF;         // 0xFF: answers every station number
    bool takesStationHeader = true;      // false: an older PLC, answers 't' with 'E'
    KeySwitch key = KeySwitch::Remote;
    RunState state = RunState::Stop;
    bool downloadNeedsStop = true; // program download ('D' but kind 'X') refused while running

    std::string password; // connection password (at most 14 characters); empty: not locked
    PasswordForm passwordForm = PasswordForm::Exchange;

    // Device image of the Linux CPU family that 'U' kind 'X' hands out; 0 bytes: the PLC has
    // none and refuses 'U'. Its bytes are a pattern made from the seed.
    std::size_t imageSize = 0;
    std::uint32_t imageSeed = 1;
};

// The configuration of one row of the identification table (PlcIdentities), with a firmware
// version that makes the program use the scheme of `form` and the password set. Nothing for an
// unknown label, or when that PLC never uses the form's scheme (the stored forms need a CPU code
// '1' to '4' or 'B').
std::optional<PlcConfig> presetConfig(std::string_view label,
                                      PasswordForm form = PasswordForm::Exchange,
                                      std::string password = {});

// Makes the simulator misbehave on purpose, so that the program's handling of every kind of
// trouble can be seen from its side. Requests and responses are counted from 1 since the
// simulator was made.
struct FaultConfig {
    // Answer a request with 'E' and `code`: every request of `command` (when set), and/or only
    // the request number `nth` (when not 0).
    struct ErrorRule {
        std::optional<std::uint8_t> command;
        std::uint64_t nth = 0;
        std::uint8_t code = 0;
    };

    std::set<std::uint64_t> corruptResponses; // these responses go out with a wrong check code
    double corruptRate = 0.0;                 // ... and each other one with this probability
    std::uint32_t seed = 1;                   // seed of that random choice
    std::vector<ErrorRule> errorReplies;
    std::set<std::uint64_t> dropRequests; // these requests get no answer at all
    bool echo = false;                    // loopback cable: every byte comes back unchanged
    std::uint64_t closeAfterFrames = 0;   // close the connection after this many responses
    std::uint32_t baud = 0;               // serial line speed to emulate, 0 = no pacing
};

// One item of a download, put together from its 'D' blocks.
struct DownloadItem {
    std::uint8_t kind = 0;
    std::uint8_t id = 0;
    std::uint16_t blockCount = 0; // value 1 of the blocks
    std::vector<std::vector<std::uint8_t>> blocks;

    std::vector<std::uint8_t> bytes() const;
};

// The PLC end of the loader protocol: takes request bytes and gives response bytes, with a
// sparse byte-addressed device memory behind it. Transport-free: the in-process channel, the
// TCP server and the serial line all feed it the same way.
class PlcSimulator {
public:
    // A request as the command handlers see it.
    struct Request {
        std::uint8_t command = 0;
        bool stationHeader = false;
        std::uint8_t station = 0;
        std::uint8_t sequence = 0;
        std::span<const std::uint8_t> data; // after the station header
    };

    // The answer a handler builds: data of a normal response, or an error code for 'E'.
    class Reply {
    public:
        void put8(std::uint8_t b);
        void put16(std::uint16_t v);
        void fail(std::uint8_t code) { error_ = code; }
        std::optional<std::uint8_t> error() const { return error_; }
        std::span<const std::uint8_t> data() const { return {data_.data(), size_}; }
        std::size_t size() const { return size_; }
        void clear() {
            size_ = 0;
            error_.reset();
        }

    private:
        std::array<std::uint8_t, frame::kResponseDataSize> data_{};
        std::size_t size_ = 0;
        std::optional<std::uint8_t> error_;
    };

    // PLC error codes the simulator answers with.
    static constexpr std::uint8_t kErrUnknownCommand = 1;
    static constexpr std::uint8_t kErrCheckCode = 2;
    static constexpr std::uint8_t kErrCpuMode = 3;
    static constexpr std::uint8_t kErrSizeOverflow = 4;
    static constexpr std::uint8_t kErrInvalidValue = 9;
    static constexpr std::uint8_t kErrDataSize = 10;
    static constexpr std::uint8_t kErrNotSupported = 20;

    explicit PlcSimulator(PlcConfig config = {}, FaultConfig faults = {});
    virtual ~PlcSimulator() = default;

    // Feeds request bytes; the response bytes are appended to `out`.
    void receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out);

    // A new connection: forget a half-received request and open the line again.
    void connectionOpened();
    // True once the close-after fault has closed the connection.
    bool connectionClosed() const { return closed_; }

    // Time one byte takes on the emulated serial line (start bit, 8 data bits, stop bit); zero
    // when no baud rate is set. The transport applies it.
    std::chrono::nanoseconds byteDelay() const;

    const PlcConfig& config() const { return config_; }
    FaultConfig& faults() { return faults_; }

    // Device memory, by the same 32-bit addresses that travel in frames. Unwritten bytes read 0.
    std::uint8_t byteAt(std::uint32_t address) const;
    void setByte(std::uint32_t address, std::uint8_t value);
    std::uint16_t wordAt(std::uint32_t address) const; // high byte at `address`
    void setWord(std::uint32_t address, std::uint16_t value);
    // Address of a device name ("F0080") for the PLC's CPU type; 0 when it has none.
    std::uint32_t address(std::string_view deviceName) const;

    void setKeySwitch(KeySwitch key);
    void setRunState(RunState state);
    KeySwitch keySwitch() const { return config_.key; }
    RunState runState() const { return config_.state; }

    // What the program has done so far.
    const std::vector<DownloadItem>& downloadItems() const { return items_; }
    std::uint64_t requestCount() const { return requests_; }
    std::uint64_t responseCount() const { return responses_; }
    std::uint64_t beginDownloadCount() const { return beginDownloads_; }

    // Connection password. For the exchange forms the block logins are checked against (it
    // changes when a kind-2 login stores a new one); for the stored forms the 16 bytes of
    // "W0000". Byte 0 = 0: the PLC is not locked.
    PasswordBlock heldPasswordBlock() const;
    bool locked() const;
    // Logins accepted with kind 1 or 2, and new blocks stored with kind 2.
    std::uint64_t loginCount() const { return logins_; }
    std::uint64_t passwordStoreCount() const { return passwordStores_; }

    // The Linux device image: handed out by 'U' kind 'X' in blocks of kImageBlockData bytes
    // behind an 8-byte header (offset 2 total blocks, 4 block number, 6 data length, big-endian),
    // and replaced by a complete 'D' kind 'X' restore. A request with the station header names
    // its block; one without it names none, and the PLC then sends every block in turn while the
    // program only reads. A PLC locked by the exchange wants the login's token on the request.
    static constexpr std::size_t kImageBlockData = 200;
    static constexpr std::size_t kImageHeaderSize = 8;
    const std::vector<std::uint8_t>& image() const { return image_; }
    void setImage(std::vector<std::uint8_t> image) { image_ = std::move(image); }
    std::size_t imageBlockCount() const;
    std::uint64_t imageRestoreCount() const { return imageRestores_; }
    // The pattern of an image of `size` bytes from `seed`.
    static std::vector<std::uint8_t> imagePattern(std::size_t size, std::uint32_t seed);

    // Device memory presets, word for word at the addresses the PLC's CPU type gives the
    // device areas (the names of DeviceAreas::transferAddress). The PLC's own words (mode,
    // identity, firmware) are kept whatever the preset says; "W0000" is no device area.
    //
    // Every word of every area the CPU type has, from a pattern made from `seed`.
    void fillDeviceMemory(std::uint32_t seed);
    // The words of a device memory file (as far as the CPU type has them).
    void loadDeviceMemory(const PdmImage& image);
    // The device areas as a device memory file holds them: flag 1, words as the PLC has them,
    // mask and ranges 0.
    PdmImage deviceMemory() const;
    // Address of word `word` of device area `area` (0 to 15); 0 where the CPU type has none.
    std::uint32_t deviceWordAddress(int area, std::uint32_t word) const;
    // Whether the responses carry the station header (the program's flag, mirrored).
    bool stationHeaderInUse() const { return headerInUse_; }

    // Called with every item as soon as its last block has arrived.
    void setItemSink(std::function<void(const DownloadItem&)> sink) { itemSink_ = std::move(sink); }
    // Called with every frame received (sent = false) and sent.
    void setFrameLog(std::function<void(bool sent, std::span<const std::uint8_t>)> log) {
        frameLog_ = std::move(log);
    }

protected:
    // 'w', its 34 bytes checked for size: the login of PlcConfig::password.
    virtual void onPassword(const Request& request, Reply& reply);
    // 'U' kind 'X': the Linux device image (see image()).
    virtual void onUpload(const Request& request, Reply& reply);

private:
    void onFrame(std::uint8_t command, std::span<const std::uint8_t> body,
                 std::vector<std::uint8_t>& out);
    bool splitHeader(std::uint8_t command, std::span<const std::uint8_t> body) const;
    void handle(const Request& request, Reply& reply);
    void onTest(Reply& reply);
    void onMode(const Request& request, Reply& reply);
    void onRead(const Request& request, Reply& reply);
    void onWrite(const Request& request, Reply& reply);
    void onDownload(const Request& request, Reply& reply);
    void send(std::uint8_t command, const Request& request, const Reply& reply,
              std::vector<std::uint8_t>& out);
    const FaultConfig::ErrorRule* errorRuleFor(std::uint8_t command) const;
    void writeModeWord();
    void writeOwnWords();
    void putImageBlock(std::size_t number, Reply& reply) const;
    void streamImage(const Request& request, std::vector<std::uint8_t>& out);
    void finishItem(DownloadItem&& item);

    PlcConfig config_;
    FaultConfig faults_;
    RequestReader reader_;
    std::unordered_map<std::uint32_t, std::uint8_t> memory_;
    bool headerInUse_ = false;
    bool closed_ = false;
    std::uint64_t requests_ = 0;
    std::uint64_t responses_ = 0;
    std::uint64_t responsesThisConnection_ = 0;
    std::uint64_t beginDownloads_ = 0;
    std::mt19937 random_;

    PasswordBlock held_{}; // the exchange forms' block (the stored forms keep theirs in memory)
    std::uint64_t logins_ = 0;
    std::uint64_t passwordStores_ = 0;

    std::vector<std::uint8_t> image_;
    std::uint64_t imageRestores_ = 0;
    bool streamImage_ = false; // a 'U' without the station header: every block follows
    Reply reply_;

    // Items being received, by kind and id; finished ones in arrival order.
    std::vector<DownloadItem> pending_;
    std::vector<DownloadItem> items_;
    std::function<void(const DownloadItem&)> itemSink_;
    std::function<void(bool, std::span<const std::uint8_t>)> frameLog_;
};

} // namespace dlu::sim
