#include "sim/PlcSimulator.h"

#include "comm/CProtocol.h"
#include "comm/Crc16Dnp.h"
#include "common/Crypto.h"
#include "devmem/PdmImage.h"
#include "plc/DeviceAddress.h"
#include "plc/DeviceArea.h"
#include "sim/PlcIdentity.h"

#include <algorithm>
#include <stdexcept>

namespace dlu::sim {

namespace {

constexpr std::uint16_t kRunBit = 0x01;
constexpr std::uint16_t kStopBit = 0x02;
constexpr std::uint16_t kPauseBit = 0x04;
constexpr std::uint16_t kRemoteBit = 0x80;
// Bit of "F1260" that marks a redundant CPU on standby; 'M' with 0x04 makes it active.
constexpr std::uint16_t kStandbyBit = 0x04;

constexpr std::size_t kPasswordRequestSize = 34;
constexpr std::size_t kPasswordWords = 8;
constexpr std::size_t kTokenSize = CProtocol::kPasswordTokenSize;

// Password request kinds of 'w'.
constexpr std::uint8_t kAskLocked = 0;
constexpr std::uint8_t kLogIn = 1;
constexpr std::uint8_t kLogInAndStore = 2;
constexpr std::size_t kReadBlockSize = 5;
constexpr std::size_t kMaxReadBlocks = 49;

std::uint16_t be16(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>((d[at] << 8) | d[at + 1]);
}

std::uint32_t be32(std::span<const std::uint8_t> d, std::size_t at) {
    return (std::uint32_t{be16(d, at)} << 16) | be16(d, at + 2);
}

// Size of the fixed part of a 'D' block of `kind` (kind byte to size field), 0 if unknown.
std::size_t downloadFixedSize(std::uint8_t kind) {
    if (kind == 'B') {
        return 4;
    }
    if (kind == 'P' || kind == 'C' || CProtocol::downloadKindAlwaysHasHeader(kind)) {
        return 8;
    }
    return 0;
}

bool downloadLayoutFits(std::span<const std::uint8_t> d) {
    if (d.empty()) {
        return false;
    }
    const std::size_t fixed = downloadFixedSize(d[0]);
    return fixed != 0 && d.size() >= fixed && d.size() == fixed + be16(d, fixed - 2);
}

// The block a PLC of `form` holds for `password`. The encrypted forms need the library's RC4;
// a simulator that cannot build its own password is a set-up fault, not a PLC state.
PasswordBlock passwordBlockFor(PasswordForm form, const std::string& password) {
    if (password.empty()) {
        return {};
    }
    if (form == PasswordForm::ExchangePlain) {
        return PasswordCipher::plain(password);
    }
    if (form == PasswordForm::StoredPlain) {
        // The password bytes themselves from byte 0, zero up to byte 14, then the checksum.
        PasswordBlock block{};
        const auto text = std::string_view(password).substr(0, PasswordCipher::kMaxLength);
        std::copy(text.begin(), text.end(), block.begin());
        block[15] = PasswordCipher::checksum(block);
        return block;
    }
    const auto crypto = Crypto::open();
    const PasswordCipher cipher(crypto.get());
    const auto block =
        form == PasswordForm::ExchangeOld ? cipher.encryptOld(password) : cipher.encrypt(password);
    if (!block) {
        throw std::runtime_error("the simulator cannot encrypt its password (no RC4 available)");
    }
    return *block;
}

// A small deterministic generator for the patterns: the same seed gives the same bytes on
// every platform, which std::mt19937's distributions do not promise.
class Pattern {
public:
    explicit Pattern(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    std::uint32_t state_;
};

} // namespace

bool isStoredForm(PasswordForm form) {
    return form == PasswordForm::Stored || form == PasswordForm::StoredPlain;
}

std::optional<PlcConfig> presetConfig(std::string_view label, PasswordForm form,
                                      std::string password) {
    const PlcIdentity* identity = PlcIdentities::find(label);
    if (identity == nullptr) {
        return std::nullopt;
    }
    const auto firmware = PlcIdentities::firmwareFor(identity->word, isStoredForm(form));
    if (!firmware) {
        return std::nullopt;
    }
    PlcConfig config;
    config.identityWord = identity->word;
    config.cpuType = identity->cpuType;
    config.firmware = *firmware;
    config.passwordForm = form;
    config.password = std::move(password);
    return config;
}

std::uint16_t modeWord(KeySwitch key, RunState state) {
    std::uint16_t word = state == RunState::Run    ? kRunBit
                         : state == RunState::Stop ? kStopBit
                                                   : kPauseBit;
    if (key == KeySwitch::Remote) {
        word |= kRemoteBit;
    }
    return word;
}

std::vector<std::uint8_t> DownloadItem::bytes() const {
    std::vector<std::uint8_t> all;
    for (const auto& block : blocks) {
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

void PlcSimulator::Reply::put8(std::uint8_t b) {
    if (size_ < data_.size()) {
        data_[size_++] = b;
    }
}

void PlcSimulator::Reply::put16(std::uint16_t v) {
    put8(static_cast<std::uint8_t>(v >> 8));
    put8(static_cast<std::uint8_t>(v));
}

PlcSimulator::PlcSimulator(PlcConfig config, FaultConfig faults)
    : config_(std::move(config)), faults_(std::move(faults)), random_(faults_.seed) {
    writeOwnWords();
    const PasswordBlock block = passwordBlockFor(config_.passwordForm, config_.password);
    if (isStoredForm(config_.passwordForm)) {
        if (const auto a = address("W0000"); a != 0) {
            for (std::size_t i = 0; i < kPasswordWords; ++i) {
                setWord(a + static_cast<std::uint32_t>(2 * i),
                        static_cast<std::uint16_t>(block[2 * i] | (block[2 * i + 1] << 8)));
            }
        }
    } else {
        held_ = block;
    }
    image_ = imagePattern(config_.imageSize, config_.imageSeed);
}

void PlcSimulator::writeOwnWords() {
    writeModeWord();
    if (const auto a = address("F0080"); a != 0) {
        setWord(a, config_.identityWord);
    }
    if (const auto a = address("F1270"); a != 0) {
        setWord(a, config_.firmware);
    }
}

std::chrono::nanoseconds PlcSimulator::byteDelay() const {
    if (faults_.baud == 0) {
        return std::chrono::nanoseconds{0};
    }
    constexpr std::int64_t kBitsPerByte = 10;
    return std::chrono::nanoseconds{kBitsPerByte * 1'000'000'000LL / faults_.baud};
}

std::uint8_t PlcSimulator::byteAt(std::uint32_t address) const {
    const auto it = memory_.find(address);
    return it == memory_.end() ? 0 : it->second;
}

void PlcSimulator::setByte(std::uint32_t address, std::uint8_t value) { memory_[address] = value; }

std::uint16_t PlcSimulator::wordAt(std::uint32_t address) const {
    return static_cast<std::uint16_t>((byteAt(address) << 8) | byteAt(address + 1));
}

void PlcSimulator::setWord(std::uint32_t address, std::uint16_t value) {
    setByte(address, static_cast<std::uint8_t>(value >> 8));
    setByte(address + 1, static_cast<std::uint8_t>(value));
}

std::uint32_t PlcSimulator::address(std::string_view deviceName) const {
    return DeviceAddress::fromName(deviceName, config_.cpuType, true);
}

void PlcSimulator::setKeySwitch(KeySwitch key) {
    config_.key = key;
    writeModeWord();
}

void PlcSimulator::setRunState(RunState state) {
    config_.state = state;
    writeModeWord();
}

void PlcSimulator::writeModeWord() {
    if (const auto a = address("F0000"); a != 0) {
        setWord(a, modeWord(config_.key, config_.state));
    }
}

void PlcSimulator::connectionOpened() {
    reader_.reset();
    streamImage_ = false;
    closed_ = false;
    responsesThisConnection_ = 0;
}

void PlcSimulator::receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
    if (closed_) {
        return;
    }
    if (faults_.echo) {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return;
    }
    for (const std::uint8_t b : bytes) {
        const RequestReader::Result result = reader_.feed(b);
        if (result == RequestReader::Result::Good || result == RequestReader::Result::BadCheck) {
            if (frameLog_) {
                frameLog_(false, reader_.frameBytes());
            }
            if (result == RequestReader::Result::Good) {
                onFrame(reader_.command(), reader_.body(), out);
            } else {
                // Answer a damaged request with ERR(2), as a PLC does.
                ++requests_;
                Request request;
                request.stationHeader = splitHeader(reader_.command(), reader_.body());
                if (request.stationHeader && reader_.body().size() >= 2) {
                    request.station = reader_.body()[0];
                    request.sequence = reader_.body()[1];
                }
                reply_.clear();
                reply_.fail(kErrCheckCode);
                send(reader_.command(), request, reply_, out);
            }
            if (closed_) {
                return;
            }
        }
    }
}

bool PlcSimulator::splitHeader(std::uint8_t command, std::span<const std::uint8_t> body) const {
    if (command == frame::kTest || command == frame::kPassword) {
        return true;
    }
    if (command != frame::kDownload || headerInUse_) {
        return headerInUse_;
    }
    // Without the flag, 'P', 'B' and 'C' come bare and the other kinds with the header: the
    // layout that fits the length tells them apart.
    if (!body.empty() && (body[0] == 'P' || body[0] == 'B' || body[0] == 'C') &&
        downloadLayoutFits(body)) {
        return false;
    }
    return body.size() > frame::kStationHeaderSize &&
           CProtocol::downloadKindAlwaysHasHeader(body[frame::kStationHeaderSize]);
}

const FaultConfig::ErrorRule* PlcSimulator::errorRuleFor(std::uint8_t command) const {
    for (const auto& rule : faults_.errorReplies) {
        const bool commandMatches = !rule.command || *rule.command == command;
        const bool nthMatches = rule.nth == 0 || rule.nth == requests_;
        if (commandMatches && nthMatches && (rule.command || rule.nth != 0)) {
            return &rule;
        }
    }
    return nullptr;
}

void PlcSimulator::onFrame(std::uint8_t command, std::span<const std::uint8_t> body,
                           std::vector<std::uint8_t>& out) {
    ++requests_;
    Request request;
    request.command = command;
    request.stationHeader = splitHeader(command, body) && body.size() >= frame::kStationHeaderSize;
    request.data = body;
    if (request.stationHeader) {
        request.station = body[0];
        request.sequence = body[1];
        request.data = body.subspan(frame::kStationHeaderSize);
        const bool forUs = config_.station == CProtocol::kNoStation ||
                           request.station == CProtocol::kNoStation ||
                           request.station == config_.station;
        if (!forUs) {
            return; // another PLC on the line answers this one
        }
    }
    if (command == frame::kTest) {
        // Whatever happens below, the program's flag goes off first and only a good answer of
        // length 5 turns it on.
        headerInUse_ = false;
    }
    if (faults_.dropRequests.contains(requests_)) {
        return;
    }

    reply_.clear();
    if (const auto* rule = errorRuleFor(command)) {
        reply_.fail(rule->code);
    } else {
        handle(request, reply_);
    }
    if (command == frame::kTest && !reply_.error()) {
        headerInUse_ = true;
    }
    send(command, request, reply_, out);
    if (streamImage_) {
        streamImage(request, out);
    }
}

void PlcSimulator::handle(const Request& request, Reply& reply) {
    switch (request.command) {
    case frame::kTest:
        onTest(reply);
        return;
    case frame::kMode:
        onMode(request, reply);
        return;
    case frame::kBeginDownload:
        ++beginDownloads_;
        return;
    case frame::kRead:
        onRead(request, reply);
        return;
    case frame::kWrite:
        onWrite(request, reply);
        return;
    case frame::kDownload:
        onDownload(request, reply);
        return;
    case frame::kPassword:
        if (request.data.size() != kPasswordRequestSize) {
            reply.fail(kErrDataSize);
            return;
        }
        onPassword(request, reply);
        return;
    case frame::kUpload:
        onUpload(request, reply);
        return;
    default:
        reply.fail(kErrUnknownCommand);
        return;
    }
}

void PlcSimulator::onTest(Reply& reply) {
    if (!config_.takesStationHeader) {
        reply.fail(kErrUnknownCommand);
        return;
    }
    // Station header plus two reserved bytes: length 5.
    reply.put16(0x0000);
}

void PlcSimulator::onMode(const Request& request, Reply& reply) {
    if (request.data.size() != 1) {
        reply.fail(kErrDataSize);
        return;
    }
    if (config_.key != KeySwitch::Remote) {
        reply.fail(kErrCpuMode);
        return;
    }
    switch (request.data[0]) {
    case 0x00:
        setRunState(RunState::Run);
        return;
    case 0x01:
        setRunState(RunState::Stop);
        return;
    case 0x04:
        if (const auto a = address("F1260"); a != 0) {
            setWord(a, static_cast<std::uint16_t>(wordAt(a) & ~kStandbyBit));
        }
        return;
    default:
        reply.fail(kErrInvalidValue);
        return;
    }
}

void PlcSimulator::onRead(const Request& request, Reply& reply) {
    const auto data = request.data;
    if (data.empty() || data.size() % kReadBlockSize != 0 ||
        data.size() / kReadBlockSize > kMaxReadBlocks) {
        reply.fail(kErrDataSize);
        return;
    }
    std::size_t total = 0;
    for (std::size_t at = 0; at < data.size(); at += kReadBlockSize) {
        total += data[at + 4];
    }
    // The answer must fit the program's 256-byte receive limit.
    const std::size_t frameSize = frame::kPrefixSize +
                                  (headerInUse_ ? frame::kStationHeaderSize : 0) + total +
                                  frame::kCheckSize;
    if (frameSize > frame::kMaxReceiveBytes) {
        reply.fail(kErrSizeOverflow);
        return;
    }
    for (std::size_t at = 0; at < data.size(); at += kReadBlockSize) {
        const std::uint32_t address = be32(data, at);
        for (std::uint32_t i = 0; i < data[at + 4]; ++i) {
            reply.put8(byteAt(address + i));
        }
    }
}

void PlcSimulator::onWrite(const Request& request, Reply& reply) {
    if (request.data.size() < 4) {
        reply.fail(kErrDataSize);
        return;
    }
    const std::uint32_t address = be32(request.data, 0);
    const auto bytes = request.data.subspan(4);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        setByte(address + static_cast<std::uint32_t>(i), bytes[i]);
    }
}

void PlcSimulator::onDownload(const Request& request, Reply& reply) {
    const auto d = request.data;
    if (!downloadLayoutFits(d)) {
        reply.fail(d.empty() || downloadFixedSize(d[0]) == 0 ? kErrInvalidValue : kErrDataSize);
        return;
    }
    const std::uint8_t kind = d[0];
    if (config_.downloadNeedsStop && kind != 'X' && config_.state != RunState::Stop) {
        reply.fail(kErrCpuMode);
        return;
    }
    const std::size_t fixed = downloadFixedSize(kind);
    const auto block = d.subspan(fixed);
    const std::uint8_t id = kind == 'P' ? 0 : d[1];
    // 'B' carries no block count: every PBT block is an item of its own.
    const std::uint16_t count = kind == 'B' ? 1 : be16(d, 2);
    const std::uint16_t index = kind == 'B' ? 0 : be16(d, 4);

    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const DownloadItem& item) {
        return item.kind == kind && item.id == id;
    });
    if (count == 0 || index >= count) {
        reply.fail(kErrInvalidValue);
        return;
    }
    if (index == 0) {
        if (it != pending_.end()) {
            pending_.erase(it); // a new start replaces an unfinished item
        }
        pending_.push_back(DownloadItem{kind, id, count, {}});
        it = std::prev(pending_.end());
    } else if (it == pending_.end() || it->blockCount != count || it->blocks.size() != index) {
        // A block out of order, or of an item that never started: the item is lost.
        if (it != pending_.end()) {
            pending_.erase(it);
        }
        reply.fail(kErrInvalidValue);
        return;
    }
    it->blocks.emplace_back(block.begin(), block.end());
    if (it->blocks.size() == it->blockCount) {
        DownloadItem item = std::move(*it);
        pending_.erase(it);
        finishItem(std::move(item));
    }
}

void PlcSimulator::finishItem(DownloadItem&& item) {
    if (item.kind == 'X') {
        // A Linux device image restore: the PLC takes the new image as a whole.
        image_ = item.bytes();
        ++imageRestores_;
        return;
    }
    items_.push_back(std::move(item));
    if (itemSink_) {
        itemSink_(items_.back());
    }
}

void PlcSimulator::onPassword(const Request& request, Reply& reply) {
    if (isStoredForm(config_.passwordForm)) {
        // A CPU with its password in "W0000" predates the exchange.
        reply.fail(kErrUnknownCommand);
        return;
    }
    const auto d = request.data;
    PasswordBlock block{};
    PasswordBlock newBlock{};
    std::copy_n(d.begin() + 2, block.size(), block.begin());
    std::copy_n(d.begin() + 18, newBlock.size(), newBlock.begin());
    switch (d[0]) {
    case kAskLocked:
        reply.put8(locked() ? 1 : 0);
        return;
    case kLogIn:
    case kLogInAndStore: {
        // An unlocked PLC lets anyone in; a locked one only the block it holds.
        const bool accepted = !locked() || block == held_;
        if (accepted) {
            ++logins_;
            if (d[0] == kLogInAndStore) {
                held_ = newBlock;
                ++passwordStores_;
            }
        }
        reply.put8(accepted ? 1 : 0);
        return;
    }
    default:
        reply.fail(kErrInvalidValue);
        return;
    }
}

PasswordBlock PlcSimulator::heldPasswordBlock() const {
    if (!isStoredForm(config_.passwordForm)) {
        return held_;
    }
    PasswordBlock block{};
    const auto a = address("W0000");
    if (a == 0) {
        return block;
    }
    for (std::size_t i = 0; i < kPasswordWords; ++i) {
        const std::uint16_t word = wordAt(a + static_cast<std::uint32_t>(2 * i));
        block[2 * i] = static_cast<std::uint8_t>(word & 0xFF);
        block[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
    }
    return block;
}

bool PlcSimulator::locked() const {
    const PasswordBlock block = heldPasswordBlock();
    return isStoredForm(config_.passwordForm) ? PasswordCipher::hasStoredPassword(block)
                                              : block[0] != 0;
}

std::size_t PlcSimulator::imageBlockCount() const {
    return (image_.size() + kImageBlockData - 1) / kImageBlockData;
}

std::vector<std::uint8_t> PlcSimulator::imagePattern(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    Pattern pattern(seed);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(pattern.next() >> 24);
    }
    return bytes;
}

void PlcSimulator::onUpload(const Request& request, Reply& reply) {
    const auto d = request.data;
    const std::size_t fixed = request.stationHeader ? 4 : 2;
    if (d.size() != fixed && d.size() != fixed + kTokenSize) {
        reply.fail(kErrDataSize);
        return;
    }
    if (d[0] != 'X') {
        reply.fail(kErrInvalidValue);
        return;
    }
    if (image_.empty()) {
        reply.fail(kErrNotSupported);
        return;
    }
    // A PLC locked by the exchange hands its memory out only against the token of a login.
    if (!isStoredForm(config_.passwordForm) && locked()) {
        const bool tokenOk = d.size() == fixed + kTokenSize &&
                             std::equal(held_.begin(), held_.end(), d.subspan(fixed).begin());
        if (!tokenOk) {
            reply.fail(kErrInvalidValue);
            return;
        }
    }
    if (!request.stationHeader) {
        // Without the header the request names no block: the PLC sends the whole image, block
        // after block, and the program only reads.
        putImageBlock(0, reply);
        streamImage_ = imageBlockCount() > 1;
        return;
    }
    const std::size_t number = be16(d, 2);
    if (number >= imageBlockCount()) {
        reply.fail(kErrInvalidValue);
        return;
    }
    putImageBlock(number, reply);
}

void PlcSimulator::putImageBlock(std::size_t number, Reply& reply) const {
    const std::size_t from = number * kImageBlockData;
    const std::size_t length = std::min(kImageBlockData, image_.size() - from);
    reply.put16(0); // not used
    reply.put16(static_cast<std::uint16_t>(imageBlockCount()));
    reply.put16(static_cast<std::uint16_t>(number));
    reply.put16(static_cast<std::uint16_t>(length));
    for (std::size_t i = 0; i < length; ++i) {
        reply.put8(image_[from + i]);
    }
}

void PlcSimulator::streamImage(const Request& request, std::vector<std::uint8_t>& out) {
    streamImage_ = false;
    for (std::size_t n = 1; n < imageBlockCount() && !closed_; ++n) {
        reply_.clear();
        putImageBlock(n, reply_);
        send(frame::kUpload, request, reply_, out);
    }
}

std::uint32_t PlcSimulator::deviceWordAddress(int area, std::uint32_t word) const {
    return DeviceAddress::fromName(DeviceAreas::transferAddress(area, word), config_.cpuType, true);
}

void PlcSimulator::fillDeviceMemory(std::uint32_t seed) {
    Pattern pattern(seed);
    for (const auto& area : DeviceAreas::all()) {
        const int index = static_cast<int>(area.index);
        const std::uint32_t words = CpuTypeTable::capacity(config_.cpuType, area.deviceId);
        for (std::uint32_t w = 0; w < words; ++w) {
            const std::uint16_t value = static_cast<std::uint16_t>(pattern.next() >> 16);
            if (const auto a = deviceWordAddress(index, w); a != 0) {
                setWord(a, value);
            }
        }
    }
    writeOwnWords();
}

void PlcSimulator::loadDeviceMemory(const PdmImage& image) {
    for (const auto& area : DeviceAreas::all()) {
        const int index = static_cast<int>(area.index);
        const std::uint32_t words = std::min<std::uint32_t>(
            CpuTypeTable::capacity(config_.cpuType, area.deviceId), PdmImage::wordCount(index));
        for (std::uint32_t w = 0; w < words; ++w) {
            if (const auto a = deviceWordAddress(index, w); a != 0) {
                setWord(a, image.word(index, w));
            }
        }
    }
    writeOwnWords();
}

PdmImage PlcSimulator::deviceMemory() const {
    PdmImage image;
    image.setFlag(1);
    for (const auto& area : DeviceAreas::all()) {
        const int index = static_cast<int>(area.index);
        const std::uint32_t words = std::min<std::uint32_t>(
            CpuTypeTable::capacity(config_.cpuType, area.deviceId), PdmImage::wordCount(index));
        for (std::uint32_t w = 0; w < words; ++w) {
            if (const auto a = deviceWordAddress(index, w); a != 0) {
                image.setWord(index, w, wordAt(a));
            }
        }
    }
    return image;
}

void PlcSimulator::send(std::uint8_t command, const Request& request, const Reply& reply,
                        std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    const std::uint8_t code = reply.error() ? frame::kErrorCommand : command;
    const std::size_t dataSize = reply.error() ? 1 : reply.size();
    const std::size_t length = dataSize + (headerInUse_ ? frame::kStationHeaderSize : 0);

    out.push_back(frame::kHead1);
    out.push_back(frame::kHead2);
    out.push_back(code);
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
    if (headerInUse_) {
        out.push_back(request.stationHeader ? request.station : config_.station);
        out.push_back(request.stationHeader ? request.sequence : 0);
        out.push_back(0x00);
    }
    if (reply.error()) {
        out.push_back(*reply.error());
    } else {
        const auto data = reply.data();
        out.insert(out.end(), data.begin(), data.end());
    }
    std::uint16_t check =
        Crc16Dnp::compute(std::span(out).subspan(start + 2, out.size() - start - 2));

    ++responses_;
    ++responsesThisConnection_;
    const bool corrupt =
        faults_.corruptResponses.contains(responses_) ||
        (faults_.corruptRate > 0.0 &&
         std::uniform_real_distribution<double>(0.0, 1.0)(random_) < faults_.corruptRate);
    if (corrupt) {
        check = static_cast<std::uint16_t>(~check);
    }
    out.push_back(static_cast<std::uint8_t>(check >> 8));
    out.push_back(static_cast<std::uint8_t>(check));

    if (frameLog_) {
        frameLog_(true, std::span(out).subspan(start));
    }
    if (faults_.closeAfterFrames != 0 && responsesThisConnection_ >= faults_.closeAfterFrames) {
        closed_ = true;
    }
}

} // namespace dlu::sim
