#pragma once

#include "comm/PasswordCipher.h"
#include "plc/CpuTypeTable.h"
#include "sim/RequestReader.h"
#include "sim/SimDownloadStore.h"
#include "sim/SimFaults.h"
#include "sim/SimLinuxImage.h"
#include "sim/SimMemory.h"
#include "sim/SimPassword.h"
#include "sim/SimRequest.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

// The PLC end of the loader protocol: takes request bytes and gives response bytes. Transport-
// free: the in-process channel, the TCP server and the serial line all feed it the same way.
// It reads frames, keeps the line's state (station header, counters, CPU mode) and hands each
// request to the part that owns its job: the memory model (SimMemory), the download store
// (SimDownloadStore), the password (SimPassword), the Linux image (SimLinuxImage); the fault
// switches (SimFaults) are asked at each step.
class PlcSimulator {
public:
    using Request = SimRequest;
    using Reply = SimReply;

    static constexpr std::uint8_t kErrUnknownCommand = plc_error::kUnknownCommand;
    static constexpr std::uint8_t kErrCheckCode = plc_error::kCheckCode;
    static constexpr std::uint8_t kErrCpuMode = plc_error::kCpuMode;
    static constexpr std::uint8_t kErrSizeOverflow = plc_error::kSizeOverflow;
    static constexpr std::uint8_t kErrInvalidValue = plc_error::kInvalidValue;
    static constexpr std::uint8_t kErrDataSize = plc_error::kDataSize;
    static constexpr std::uint8_t kErrNotSupported = plc_error::kNotSupported;

    explicit PlcSimulator(PlcConfig config = {}, FaultConfig faults = {});
    virtual ~PlcSimulator() = default;

    // Feeds request bytes; the response bytes are appended to `out`.
    void receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out);

    // A new connection: forget a half-received request and open the line again.
    void connectionOpened();
    // True once the close-after fault has closed the connection.
    bool connectionClosed() const { return closed_; }

    // Time one byte takes on the emulated serial line; the transport applies it.
    std::chrono::nanoseconds byteDelay() const { return faults_.byteDelay(); }
    // The emulated serial line (baud rate and turnaround) the transport applies.
    LineEmulation line() const { return faults_.line(); }

    const PlcConfig& config() const { return config_; }
    FaultConfig& faults() { return faults_.config(); }

    // Device memory, by the same 32-bit addresses that travel in frames. Unwritten bytes read 0.
    SimMemory& memory() { return memory_; }
    const SimMemory& memory() const { return memory_; }
    std::uint8_t byteAt(std::uint32_t address) const { return memory_.byteAt(address); }
    void setByte(std::uint32_t address, std::uint8_t value) { memory_.setByte(address, value); }
    std::uint16_t wordAt(std::uint32_t address) const { return memory_.wordAt(address); }
    void setWord(std::uint32_t address, std::uint16_t value) { memory_.setWord(address, value); }
    // Address of a device name ("F0080") for the PLC's CPU type; 0 when it has none.
    std::uint32_t address(std::string_view deviceName) const { return memory_.address(deviceName); }

    void setKeySwitch(KeySwitch key);
    void setRunState(RunState state);
    KeySwitch keySwitch() const { return config_.key; }
    RunState runState() const { return config_.state; }

    // What the program has done so far.
    const std::vector<DownloadItem>& downloadItems() const { return store_.items(); }
    std::uint64_t requestCount() const { return requests_; }
    std::uint64_t responseCount() const { return responses_; }
    std::uint64_t beginDownloadCount() const { return beginDownloads_; }

    // Connection password (see SimPassword).
    const SimPassword& password() const { return password_; }
    PasswordBlock heldPasswordBlock() const { return password_.heldBlock(); }
    bool locked() const { return password_.locked(); }
    // Logins accepted with kind 1 or 2, and new blocks stored with kind 2.
    std::uint64_t loginCount() const { return password_.loginCount(); }
    std::uint64_t passwordStoreCount() const { return password_.storeCount(); }

    // The Linux device image (see SimLinuxImage).
    static constexpr std::size_t kImageBlockData = SimLinuxImage::kBlockData;
    static constexpr std::size_t kImageHeaderSize = SimLinuxImage::kHeaderSize;
    const std::vector<std::uint8_t>& image() const { return image_.bytes(); }
    void setImage(std::vector<std::uint8_t> image) { image_.set(std::move(image)); }
    std::size_t imageBlockCount() const { return image_.blockCount(); }
    std::uint64_t imageRestoreCount() const { return image_.restoreCount(); }
    static std::vector<std::uint8_t> imagePattern(std::size_t size, std::uint32_t seed) {
        return SimLinuxImage::pattern(size, seed);
    }

    // Device memory presets, word for word at the addresses the PLC's CPU type gives the
    // device areas (the names of DeviceAreas::transferAddress). The PLC's own words (mode,
    // identity, firmware) are kept whatever the preset says; "W0000" is no device area.
    void fillDeviceMemory(std::uint32_t seed);
    void loadDeviceMemory(const PdmImage& image);
    PdmImage deviceMemory() const;
    std::uint32_t deviceWordAddress(int area, std::uint32_t word) const {
        return memory_.deviceWordAddress(area, word);
    }
    // Whether the responses carry the station header (the program's flag, mirrored).
    bool stationHeaderInUse() const { return headerInUse_; }

    // Called with every item as soon as its last block has arrived.
    void setItemSink(std::function<void(const DownloadItem&)> sink) {
        store_.setSink(std::move(sink));
    }
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
    void onBadCheck(std::vector<std::uint8_t>& out);
    bool splitHeader(std::uint8_t command, std::span<const std::uint8_t> body) const;
    void handle(const Request& request, Reply& reply);
    void onTest(Reply& reply);
    void onMode(const Request& request, Reply& reply);
    void onRead(const Request& request, Reply& reply);
    void onWrite(const Request& request, Reply& reply);
    void onDownload(const Request& request, Reply& reply);
    void send(std::uint8_t command, const Request& request, const Reply& reply,
              std::vector<std::uint8_t>& out);
    void writeModeWord();
    void writeOwnWords();

    PlcConfig config_;
    SimFaults faults_;
    SimMemory memory_;
    SimPassword password_;
    SimLinuxImage image_;
    SimDownloadStore store_;

    RequestReader reader_;
    Reply reply_;
    bool headerInUse_ = false;
    bool closed_ = false;
    std::uint64_t requests_ = 0;
    std::uint64_t responses_ = 0;
    std::uint64_t responsesThisConnection_ = 0;
    std::uint64_t beginDownloads_ = 0;
    std::function<void(bool, std::span<const std::uint8_t>)> frameLog_;
};

} // namespace dlu::sim
