#include "sim/PlcSimulator.h"

#include "comm/CProtocol.h"
#include "comm/Crc16Dnp.h"
#include "devmem/PdmImage.h"
#include "sim/PlcIdentity.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace dlu::sim {

namespace {

constexpr std::uint16_t kRunBit = 0x01;
constexpr std::uint16_t kStopBit = 0x02;
constexpr std::uint16_t kPauseBit = 0x04;
constexpr std::uint16_t kRemoteBit = 0x80;
// Bit of "F1260" that marks a redundant CPU on standby; 'M' with 0x04 makes it active.
constexpr std::uint16_t kStandbyBit = 0x04;

constexpr std::size_t kReadBlockSize = 5;
constexpr std::size_t kMaxReadBlocks = 49;

} // namespace

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

PlcSimulator::PlcSimulator(PlcConfig config, FaultConfig faults)
    : config_(std::move(config)), faults_(std::move(faults)), memory_(config_.cpuType),
      password_(config_.passwordForm, config_.password, memory_),
      image_(config_.imageSize, config_.imageSeed) {
    writeOwnWords();
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

void PlcSimulator::fillDeviceMemory(std::uint32_t seed) {
    memory_.fillDeviceAreas(seed);
    writeOwnWords();
}

void PlcSimulator::loadDeviceMemory(const PdmImage& image) {
    memory_.loadDeviceAreas(image);
    writeOwnWords();
}

PdmImage PlcSimulator::deviceMemory() const { return memory_.deviceAreas(); }

void PlcSimulator::connectionOpened() {
    reader_.reset();
    image_.connectionOpened();
    closed_ = false;
    responsesThisConnection_ = 0;
}

void PlcSimulator::receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
    if (closed_) {
        return;
    }
    if (faults_.echoes()) {
        out.insert(out.end(), bytes.begin(), bytes.end());
        return;
    }
    for (const std::uint8_t b : bytes) {
        const RequestReader::Result result = reader_.feed(b);
        if (result != RequestReader::Result::Good && result != RequestReader::Result::BadCheck) {
            continue;
        }
        if (frameLog_) {
            frameLog_(false, reader_.frameBytes());
        }
        if (result == RequestReader::Result::Good) {
            onFrame(reader_.command(), reader_.body(), out);
        } else {
            onBadCheck(out);
        }
        if (closed_) {
            return;
        }
    }
}

// Answer a damaged request with ERR(2), as a PLC does.
void PlcSimulator::onBadCheck(std::vector<std::uint8_t>& out) {
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
        SimDownloadStore::layoutFits(body)) {
        return false;
    }
    return body.size() > frame::kStationHeaderSize &&
           CProtocol::downloadKindAlwaysHasHeader(body[frame::kStationHeaderSize]);
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
    if (faults_.hangs(command)) {
        // The PLC stops dead inside this request and never returns: the program that made
        // the request waits there until it is killed, at a point chosen by the command.
        for (;;) {
            std::this_thread::sleep_for(std::chrono::hours(1));
        }
    }
    if (faults_.drops(requests_)) {
        return;
    }
    if (isRetransmission(request, body)) {
        // The program did not get the answer and sends the same request again: answer it
        // again, but do not store the block or change the mode a second time.
        // The repeated answer is a response on the line like any other: the corruption fault
        // applies to it as well.
        ++retransmissions_;
        out.insert(out.end(), lastAnswer_.begin(), lastAnswer_.end());
        ++responses_;
        ++responsesThisConnection_;
        if (faults_.corrupts(responses_)) {
            out[out.size() - 1] = static_cast<std::uint8_t>(~out[out.size() - 1]);
            out[out.size() - 2] = static_cast<std::uint8_t>(~out[out.size() - 2]);
        }
        if (faults_.closesAfter(responsesThisConnection_)) {
            closed_ = true;
        }
        return;
    }

    reply_.clear();
    if (const auto* rule = faults_.errorRuleFor(command, requests_)) {
        reply_.fail(rule->code);
    } else {
        handle(request, reply_);
    }
    if (command == frame::kTest && !reply_.error()) {
        headerInUse_ = true;
    }
    const std::size_t start = out.size();
    send(command, request, reply_, out);
    lastCommand_ = 0;
    lastBody_.clear();
    lastAnswer_.clear();
    if (!reply_.error() && command != frame::kTest && command != frame::kUpload) {
        lastCommand_ = command;
        lastBody_.assign(body.begin(), body.end());
        lastAnswer_.assign(out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
        // A good check code on the stored answer, whatever the corruption fault did to this one.
        const auto check = Crc16Dnp::compute(
            std::span(lastAnswer_).subspan(2, lastAnswer_.size() - 2 - frame::kCheckSize));
        lastAnswer_[lastAnswer_.size() - 2] = static_cast<std::uint8_t>(check >> 8);
        lastAnswer_[lastAnswer_.size() - 1] = static_cast<std::uint8_t>(check);
    }
    if (faults_.losesAnswer(requests_)) {
        out.resize(start);
    }
    if (image_.takeStream()) {
        for (std::size_t n = 1; n < image_.blockCount() && !closed_; ++n) {
            reply_.clear();
            image_.putBlock(n, reply_);
            send(frame::kUpload, request, reply_, out);
        }
    }
}

// With the station header a retransmission carries the sequence number of the request before
// (a new request always gets a new one); without it only a download block is recognised, by
// being the very same block again: an item's blocks carry their index, so two different blocks
// never look alike. Reads, 't' and 'U' are always carried out.
bool PlcSimulator::isRetransmission(const Request& request,
                                    std::span<const std::uint8_t> body) const {
    if (lastAnswer_.empty() || request.command != lastCommand_ ||
        !std::equal(body.begin(), body.end(), lastBody_.begin(), lastBody_.end())) {
        return false;
    }
    return request.stationHeader || request.command == frame::kDownload;
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
        if (request.data.size() != SimPassword::kRequestSize) {
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
        const std::uint32_t from = be32(data, at);
        for (std::uint32_t i = 0; i < data[at + 4]; ++i) {
            reply.put8(memory_.byteAt(from + i));
        }
    }
}

void PlcSimulator::onWrite(const Request& request, Reply& reply) {
    if (request.data.size() < 4) {
        reply.fail(kErrDataSize);
        return;
    }
    if (faults_.losesWrite(requests_)) {
        return;
    }
    const std::uint32_t to = be32(request.data, 0);
    const auto bytes = request.data.subspan(4);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        memory_.setByte(to + static_cast<std::uint32_t>(i), bytes[i]);
    }
}

void PlcSimulator::onDownload(const Request& request, Reply& reply) {
    const auto d = request.data;
    if (!SimDownloadStore::layoutFits(d)) {
        reply.fail(SimDownloadStore::layoutError(d));
        return;
    }
    if (config_.downloadNeedsStop && d[0] != 'X' && config_.state != RunState::Stop) {
        reply.fail(kErrCpuMode);
        return;
    }
    std::optional<DownloadItem> finished;
    if (const auto error = store_.addBlock(d, finished)) {
        reply.fail(*error);
        return;
    }
    if (!finished) {
        return;
    }
    if (finished->kind == 'X') {
        // A Linux device image restore: the PLC takes the new image as a whole (the lose-write
        // fault, on the last block, keeps the old one).
        if (!faults_.losesWrite(requests_)) {
            image_.restore(finished->bytes());
        }
    } else {
        store_.keep(std::move(*finished));
    }
}

void PlcSimulator::onPassword(const Request& request, Reply& reply) {
    password_.onLogin(request, reply);
}

void PlcSimulator::onUpload(const Request& request, Reply& reply) {
    image_.onUpload(request, reply, password_);
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
    if (faults_.corrupts(responses_)) {
        check = static_cast<std::uint16_t>(~check);
    }
    out.push_back(static_cast<std::uint8_t>(check >> 8));
    out.push_back(static_cast<std::uint8_t>(check));

    if (frameLog_) {
        frameLog_(true, std::span(out).subspan(start));
    }
    if (faults_.closesAfter(responsesThisConnection_)) {
        closed_ = true;
    }
}

} // namespace dlu::sim
