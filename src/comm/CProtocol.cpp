#include "comm/CProtocol.h"

#include "comm/Crc16Dnp.h"
#include "comm/UploadBlock.h"

#include <algorithm>
#include <chrono>

namespace dlu {

namespace {

constexpr std::array<std::uint8_t, 4> kTestText{'T', 'E', 'S', 'T'};
// A good answer to 't' from a PLC that takes the station header: the header and two bytes.
constexpr std::uint16_t kTestAnswerLength = 5;
// What the trace shows instead of a password block or token.
constexpr std::uint8_t kMaskByte = 0x2A;
// At most this many stale bytes are thrown away in one go: a line that never stops talking
// must not hold the program.
constexpr std::size_t kMaxDiscard = 4 * frame::kMaxReceiveBytes;

struct ModeCode {
    std::uint16_t mode;
    std::uint8_t code;
};
constexpr std::array<ModeCode, 3> kModeCodes{{
    {CProtocol::kModeRemoteRun, 0x00},
    {CProtocol::kModeRemoteStop, 0x01},
    {CProtocol::kModeActive, 0x04},
}};

// The 'D' kinds that carry the station header whatever the flag says.
constexpr std::array<std::uint8_t, 11> kAlwaysHeaderKinds{'T', 't', 'X', 'b', 'l', 'v',
                                                          'a', 's', 'V', 'A', 'S'};

} // namespace

// Fills the request buffer from the front. Callers check sizes before they start, so a put
// past the end is a programming error; the builder still stops at the buffer's end.
class CProtocol::Builder {
public:
    Builder(CProtocol& p, std::uint8_t command, bool stationHeader) : p_(p) {
        p_.maskOffset_ = 0;
        p_.maskLength_ = 0;
        put8(frame::kHead1);
        put8(frame::kHead2);
        put8(command);
        put16(0); // length, filled in by finish()
        if (stationHeader) {
            // Wraps from 255 to 0.
            p_.sequence_ = static_cast<std::uint8_t>(p_.sequenceSource_->fetch_add(1) + 1);
            put8(p_.station_);
            put8(p_.sequence_);
            put8(0x00);
        }
    }

    void put8(std::uint8_t b) {
        if (size_ < p_.request_.size()) {
            p_.request_[size_++] = b;
        }
    }
    void put16(std::uint16_t v) {
        put8(static_cast<std::uint8_t>(v >> 8));
        put8(static_cast<std::uint8_t>(v));
    }
    void put32(std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v >> 16));
        put16(static_cast<std::uint16_t>(v));
    }
    void put(std::span<const std::uint8_t> bytes) {
        for (const std::uint8_t b : bytes) {
            put8(b);
        }
    }
    // Bytes put from here on up to the check code never reach the trace in clear.
    void maskFromHere() { p_.maskOffset_ = size_; }

    // Writes length and check code; returns the size of the whole frame.
    std::size_t finish() {
        const std::size_t length = size_ - frame::kPrefixSize;
        p_.request_[3] = static_cast<std::uint8_t>(length >> 8);
        p_.request_[4] = static_cast<std::uint8_t>(length);
        if (p_.maskOffset_ != 0) {
            // The check code over a secret says something about it too.
            p_.maskLength_ = size_ - p_.maskOffset_ + frame::kCheckSize;
        }
        put16(Crc16Dnp::compute(std::span(p_.request_).subspan(2, size_ - 2)));
        return size_;
    }

private:
    CProtocol& p_;
    std::size_t size_ = 0;
};

CProtocol::CProtocol(Channel& channel, FrameTrace* trace) : channel_(channel), trace_(trace) {}

std::atomic<std::uint8_t>& CProtocol::processSequence() {
    static std::atomic<std::uint8_t> sequence{0};
    return sequence;
}

void CProtocol::setPasswordToken(std::span<const std::uint8_t, kPasswordTokenSize> token) {
    std::copy(token.begin(), token.end(), token_.begin());
}

void CProtocol::clearPasswordToken() { token_.fill(0); }

bool CProtocol::isDownloadKind(std::uint8_t kind) {
    return kind == 'P' || kind == 'B' || kind == 'C' || downloadKindAlwaysHasHeader(kind);
}

bool CProtocol::downloadKindAlwaysHasHeader(std::uint8_t kind) {
    return std::find(kAlwaysHeaderKinds.begin(), kAlwaysHeaderKinds.end(), kind) !=
           kAlwaysHeaderKinds.end();
}

void CProtocol::traceSent(std::size_t frameSize) {
    if (trace_ == nullptr) {
        return;
    }
    std::array<std::uint8_t, frame::kRequestBufferSize> copy;
    std::copy_n(request_.begin(), frameSize, copy.begin());
    if (maskLength_ != 0 && maskOffset_ + maskLength_ <= frameSize) {
        std::fill_n(copy.begin() + static_cast<std::ptrdiff_t>(maskOffset_), maskLength_,
                    kMaskByte);
    }
    trace_->frame(FrameDirection::Sent, std::chrono::system_clock::now(),
                  std::span(copy).first(frameSize));
}

void CProtocol::traceReceived() {
    if (trace_ == nullptr || receivedCount_ == 0) {
        return;
    }
    std::array<std::uint8_t, frame::kMaxReceiveBytes> copy;
    std::copy_n(received_.begin(), receivedCount_, copy.begin());
    if (answerMaskTo_ > answerMaskFrom_) {
        // A broken or error frame too: what sits where the secret would is never shown. The
        // places count from the frame's head; what came before it (noise, or stale bytes of
        // an earlier answer, which may be the same secret) is never shown either, nor is a
        // receive in which no head was found.
        const std::size_t start =
            receiver_.headFound() ? std::min(receiver_.frameStart(), receivedCount_)
                                  : receivedCount_;
        std::fill_n(copy.begin(), start, kMaskByte);
        const std::size_t data =
            start + frame::kPrefixSize + (stationHeader_ ? frame::kStationHeaderSize : 0);
        const std::size_t from = std::min(receivedCount_, data + answerMaskFrom_);
        const std::size_t to =
            std::min(receivedCount_, data + std::min(answerMaskTo_, SIZE_MAX - data));
        std::fill(copy.begin() + static_cast<std::ptrdiff_t>(from),
                  copy.begin() + static_cast<std::ptrdiff_t>(to), kMaskByte);
        if (receiver_.headFound() && receivedCount_ >= data + frame::kCheckSize) {
            // The check code over a secret says something about it too.
            std::fill_n(copy.begin() +
                            static_cast<std::ptrdiff_t>(receivedCount_ - frame::kCheckSize),
                        frame::kCheckSize, kMaskByte);
        }
    }
    trace_->frame(FrameDirection::Received, std::chrono::system_clock::now(),
                  std::span(copy).first(receivedCount_));
}

std::uint8_t CProtocol::writeFailure() {
    // A link that is gone (a dropped or refused TCP connection) is the connection's error,
    // not a local port that cannot be opened: the channel's read says which it is.
    const ChannelRead r = channel_.readWithin(std::chrono::milliseconds{0});
    return r.status == kChannelLinkLost ? std::uint8_t{kChannelLinkLost}
                                        : std::uint8_t{kChannelWriteFailed};
}

void CProtocol::discardWaiting() { dropArriving(std::chrono::milliseconds{0}); }

std::chrono::milliseconds CProtocol::lateAnswerLimit() const {
    const auto timeout = channel_.timeout();
    return 4 * timeout + timeout / 2 +
           std::chrono::ceil<std::chrono::milliseconds>(
               channel_.byteTime() * static_cast<std::int64_t>(frame::kMaxReceiveBytes));
}

void CProtocol::markOutOfStep() {
    if (stationHeader_) {
        return; // every answer names its request
    }
    const auto by = sentAt_ + lateAnswerLimit();
    settleBy_ = outOfStep_ ? std::max(settleBy_, by) : by;
    outOfStep_ = true;
}

void CProtocol::drainStream() {
    if (!streamOpen_) {
        return;
    }
    streamOpen_ = false;
    // Without the opening answer the count is not known: as many as a count can name.
    const std::int64_t total = uploadTotal_ != 0 ? uploadTotal_ : std::int64_t{0xFFFF};
    const std::int64_t remaining =
        (uploadTotal_ > streamNext_ ? uploadTotal_ - streamNext_ : std::int64_t{0}) +
        total * streamsBehind_;
    // The last blocks to see: of the stream under way (unless it was read to its end), and
    // of every stream behind it.
    std::int64_t lastBlocks = (uploadTotal_ > streamNext_ ? 1 : 0) + streamsBehind_;
    streamsBehind_ = 0;
    if (remaining == 0 || lastBlocks == 0) {
        return;
    }
    const std::size_t most = static_cast<std::size_t>(remaining) * frame::kMaxReceiveBytes;
    // The PLC sends the blocks one after the other: a whole time-out without a byte means
    // the stream has ended (or the link has gone).
    const auto gap = std::max(channel_.timeout(), std::chrono::milliseconds{1});
    const auto frameTime = std::chrono::ceil<std::chrono::milliseconds>(
        channel_.byteTime() * static_cast<std::int64_t>(frame::kMaxReceiveBytes));
    Clock::TimePoint end{};
    if (clock_ != nullptr) {
        end = clock_->now() + (gap + frameTime) * remaining;
    }
    inboxNext_ = inboxSize_ = 0;
    const std::uint8_t lastRead = lastRead_;
    receiver_.reset(frame::kUpload, false, station_, 0);
    for (std::size_t dropped = 0; lastBlocks > 0 && dropped < most;) {
        auto limit = gap;
        if (clock_ != nullptr) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - clock_->now());
            if (left.count() <= 0) {
                break;
            }
            limit = std::min(limit, left);
        }
        if (!refill(limit, most - dropped)) {
            break; // quiet for a whole time-out, or the link is gone
        }
        dropped += inboxSize_;
        for (std::size_t i = 0; i < inboxSize_; ++i) {
            const FrameReceiver::Result result = receiver_.feed(inbox_[i]);
            if (result == FrameReceiver::Result::NeedMore) {
                continue;
            }
            const auto data = receiver_.data();
            // The image's last block ends a stream.
            if (result == FrameReceiver::Result::Good) {
                const auto block = UploadBlock::parse(data);
                if (block && block->total != 0 && block->number == block->total - 1) {
                    --lastBlocks;
                }
            }
            receiver_.reset(frame::kUpload, false, station_, 0);
        }
        inboxNext_ = inboxSize_ = 0;
    }
    lastRead_ = lastRead;
}

void CProtocol::settle() {
    drainStream();
    if (!outOfStep_) {
        return;
    }
    outOfStep_ = false;
    if (clock_ == nullptr) {
        // Without a clock only each wait is bounded (by the time-out): the line counts as quiet
        // after as many empty waits in a row as the limit holds time-outs.
        const auto timeout = std::max(channel_.timeout(), std::chrono::milliseconds{1});
        const auto quietWaits = lateAnswerLimit() / timeout + 1;
        inboxNext_ = inboxSize_ = 0;
        const std::uint8_t lastRead = lastRead_;
        std::size_t dropped = 0;
        for (std::int64_t quiet = 0; quiet < quietWaits && dropped < kMaxDiscard;) {
            if (refill(timeout, kMaxDiscard - dropped)) {
                dropped += inboxSize_;
                inboxNext_ = inboxSize_ = 0;
                quiet = 0;
            } else if (lastRead_ != kChannelTimeout) {
                break;
            } else {
                ++quiet;
            }
        }
        lastRead_ = lastRead;
        return;
    }
    dropUntil(settleBy_);
}

void CProtocol::discardDuringGuard() {
    inboxNext_ = inboxSize_ = 0;
    const auto guard = channel_.timeout();
    if (clock_ == nullptr) {
        // Only each wait is bounded: the line is quiet once a whole guard passes without a byte.
        dropArriving(guard);
        return;
    }
    // An answer that starts within the guard has wholly arrived by its end.
    dropUntil(clock_->now() + guard +
              std::chrono::ceil<std::chrono::milliseconds>(
                  channel_.byteTime() * static_cast<std::int64_t>(frame::kMaxReceiveBytes)));
}

void CProtocol::dropUntil(Clock::TimePoint end) {
    inboxNext_ = inboxSize_ = 0;
    const std::uint8_t lastRead = lastRead_;
    std::size_t dropped = 0;
    for (std::size_t n = 0; n < kMaxDiscard && dropped < kMaxDiscard; ++n) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - clock_->now());
        if (left.count() <= 0) {
            break;
        }
        if (refill(left, kMaxDiscard - dropped)) {
            dropped += inboxSize_;
            inboxNext_ = inboxSize_ = 0;
        } else if (lastRead_ != kChannelTimeout) {
            break; // the link is gone: nothing more can come
        }
    }
    lastRead_ = lastRead;
}

void CProtocol::dropArriving(std::chrono::milliseconds gap) {
    inboxNext_ = inboxSize_ = 0;
    std::size_t dropped = 0;
    while (dropped < kMaxDiscard && refill(gap, kMaxDiscard - dropped)) {
        dropped += inboxSize_;
        inboxNext_ = inboxSize_ = 0;
    }
}

bool CProtocol::refill(std::chrono::milliseconds limit, std::size_t most) {
    std::uint8_t status = kChannelTimeout;
    const auto room = std::span(inbox_).first(std::min(most, inbox_.size()));
    const std::size_t count = channel_.readSome(room, limit, status);
    inboxNext_ = 0;
    inboxSize_ = std::min(count, room.size());
    if (inboxSize_ == 0) {
        // A channel that hands out nothing and calls it success must not hold the receive.
        lastRead_ = status == kChannelOk ? std::uint8_t{kChannelTimeout} : status;
        return false;
    }
    return true;
}

ChannelRead CProtocol::readByte() {
    if (inboxNext_ == inboxSize_) {
        // Only a wait needs the deadline: the bytes taken already came within it.
        auto limit = std::chrono::milliseconds::max(); // without a clock: the channel's time-out
        if (clock_ != nullptr) {
            limit = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - clock_->now());
            if (limit.count() <= 0) {
                return {0, kChannelTimeout};
            }
        }
        if (!refill(limit, inbox_.size())) {
            return {0, lastRead_};
        }
    }
    const ChannelRead in{inbox_[inboxNext_++], kChannelOk};
    if (clock_ != nullptr && firstByte_) {
        // The first byte came in time: the rest may take as long as a whole frame needs on the
        // line, counted from the start, so a line that trickles cannot stretch the wait.
        firstByte_ = false;
        deadline_ += std::chrono::ceil<std::chrono::milliseconds>(
            channel_.byteTime() * static_cast<std::int64_t>(frame::kMaxReceiveBytes));
    }
    return in;
}

void CProtocol::startDeadline() {
    if (clock_ != nullptr) {
        deadline_ = clock_->now() + channel_.timeout();
        firstByte_ = true;
    }
}

// Masks data bytes [from, to) of the answers while it lives.
class CProtocol::SecretAnswer {
public:
    SecretAnswer(CProtocol& p, std::size_t from, std::size_t to) : p_(p) {
        p_.answerMaskFrom_ = from;
        p_.answerMaskTo_ = to;
    }
    ~SecretAnswer() { p_.answerMaskFrom_ = p_.answerMaskTo_ = 0; }
    SecretAnswer(const SecretAnswer&) = delete;
    SecretAnswer& operator=(const SecretAnswer&) = delete;

private:
    CProtocol& p_;
};

bool CProtocol::receive(std::uint8_t command, bool fresh) {
    lastError_ = kErrorNone;
    receivedCount_ = 0;
    receiver_.reset(command, stationHeader_, station_, sequence_);
    if (fresh) {
        startDeadline();
    }
    for (;;) {
        const ChannelRead in = readByte();
        if (in.status != kChannelOk) {
            lastError_ = in.status;
            traceReceived();
            return false;
        }
        if (receivedCount_ < received_.size()) {
            received_[receivedCount_++] = in.byte;
        }
        const FrameReceiver::Result result = receiver_.feed(in.byte);
        if (result == FrameReceiver::Result::NeedMore) {
            continue;
        }
        traceReceived();
        if (result == FrameReceiver::Result::Bad) {
            lastError_ = receiver_.errorCode();
            return false;
        }
        const auto data = receiver_.data();
        std::copy(data.begin(), data.end(), responseData_.begin());
        responseLength_ = static_cast<std::uint16_t>(data.size());
        return true;
    }
}

bool CProtocol::transact(std::size_t frameSize, std::uint8_t command, bool send, Check check,
                         std::size_t dataLength) {
    if (attempts_ == 0) {
        // Nothing is written: a fault of the settings, not of the port or the PLC.
        lastError_ = kErrorNoAttempts;
        return false;
    }
    transactWrites_ = 0;
    bool misfit = false; // an answer came that did not fit the request
    for (std::uint32_t attempt = 0; attempt < attempts_; ++attempt) {
        if (send) {
            if (attempt == 0) {
                // A late answer to an earlier request must be gone; one to an earlier attempt
                // of this request answers the same bytes and may stand for the retry's.
                settle();
            }
            // Whatever is still waiting belongs to an earlier request: it must never be taken
            // for the answer to this one.
            discardWaiting();
            traceSent(frameSize);
            if (!channel_.write(std::span(request_).first(frameSize))) {
                lastError_ = writeFailure();
                continue;
            }
            ++transactWrites_;
            noteSent();
        }
        // Without the header a block of an image stream names no request: one that does not
        // fit (a stale stream's, or one before the block asked for) is passed over and the
        // next one looked at, within the same deadline.
        // The receiver's own bound (a frame's worth of bytes without a whole frame) is met
        // by the middle of a stale block in the same way.
        const std::size_t skippable = check == Check::Upload && !stationHeader_ ? 0xFFFF : 0;
        for (std::size_t skipped = 0;; ++skipped) {
            if (!receive(command, skipped == 0)) {
                const bool hunted =
                    lastError_ == kErrorFrameDoesNotFit || lastError_ == kErrorCheckCode;
                if (hunted && skipped < skippable) {
                    continue;
                }
                if (send && lastError_ == kChannelTimeout) {
                    // A late answer may still be on its way: it must be gone before the retry,
                    // and one later than the guard before the next request.
                    markOutOfStep();
                    discardDuringGuard();
                }
                misfit = misfit || skipped > 0;
                break;
            }
            const bool fits = check == Check::Any ||
                              (check == Check::Exact && responseLength_ == dataLength) ||
                              (check == Check::AtLeast && responseLength_ >= dataLength) ||
                              (check == Check::Upload && uploadAnswerFits());
            if (fits) {
                return true;
            }
            // A well-formed answer that does not carry what the request asked for.
            lastError_ = kErrorFrameDoesNotFit;
            if (skipped >= skippable) {
                break;
            }
        }
    }
    if (misfit && lastError_ == kChannelTimeout) {
        // What came did not fit: that says more than the silence after it.
        lastError_ = kErrorFrameDoesNotFit;
    }
    return false;
}

CProtocol::TestResult CProtocol::protocolTest() {
    Builder b(*this, frame::kTest, true);
    b.put(kTestText);
    const std::size_t size = b.finish();

    settle();
    stationHeader_ = false;
    lastError_ = kErrorNone;
    discardWaiting();
    traceSent(size);
    if (!channel_.write(std::span(request_).first(size))) {
        lastError_ = writeFailure();
        return TestResult::NoAnswer;
    }
    noteSent();

    receivedCount_ = 0;
    receiver_.resetForHeadOnly(frame::kTest);
    startDeadline();
    for (;;) {
        const ChannelRead in = readByte();
        if (in.status != kChannelOk) {
            lastError_ = in.status;
            traceReceived();
            if (in.status == kChannelTimeout) {
                markOutOfStep(); // its answer, late, would not name the request either
            }
            return TestResult::NoAnswer;
        }
        if (receivedCount_ < received_.size()) {
            received_[receivedCount_++] = in.byte;
        }
        const FrameReceiver::Result result = receiver_.feed(in.byte);
        if (result == FrameReceiver::Result::NeedMore) {
            continue;
        }
        traceReceived();
        if (result == FrameReceiver::Result::Bad) {
            lastError_ = receiver_.errorCode();
            return TestResult::NoAnswer;
        }
        if (receiver_.command() == frame::kErrorCommand) {
            return TestResult::Answered; // an older PLC: no station header
        }
        if (receiver_.lengthField() != kTestAnswerLength) {
            return TestResult::WrongLength;
        }
        stationHeader_ = true;
        return TestResult::Answered;
    }
}

std::uint16_t CProtocol::changeCpuMode(std::uint16_t mode) {
    const auto it = std::find_if(kModeCodes.begin(), kModeCodes.end(),
                                 [mode](const ModeCode& m) { return m.mode == mode; });
    if (it == kModeCodes.end()) {
        lastError_ = kErrorRequestRefused;
        return 0;
    }
    Builder b(*this, frame::kMode, stationHeader_);
    b.put8(it->code);
    return transact(b.finish(), frame::kMode, true, Check::Exact, 0) ? mode : 0;
}

bool CProtocol::beginDownload() {
    Builder b(*this, frame::kBeginDownload, stationHeader_);
    return transact(b.finish(), frame::kBeginDownload, true, Check::Exact, 0);
}

bool CProtocol::readWords(std::span<const ReadBlock> blocks, std::span<std::uint16_t> words,
                          std::size_t secretWords) {
    std::size_t total = 0;
    for (const ReadBlock& block : blocks) {
        total += block.wordCount;
    }
    // The byte count of a block is one byte: 127 words at most.
    const bool blockTooLarge = std::any_of(blocks.begin(), blocks.end(),
                                           [](const ReadBlock& r) { return r.wordCount > 0x7F; });
    if (blocks.empty() || blocks.size() > kMaxReadBlocks || blockTooLarge || total > words.size()) {
        lastError_ = kErrorRequestRefused;
        return false;
    }
    Builder b(*this, frame::kRead, stationHeader_);
    for (const ReadBlock& block : blocks) {
        b.put32(block.address);
        b.put8(static_cast<std::uint8_t>(block.wordCount * 2));
    }
    const SecretAnswer masked(*this, 0, 2 * secretWords);
    if (!transact(b.finish(), frame::kRead, true, Check::Exact, total * 2)) {
        return false;
    }
    for (std::size_t i = 0; i < total; ++i) {
        words[i] =
            static_cast<std::uint16_t>((responseData_[2 * i] << 8) | responseData_[2 * i + 1]);
    }
    return true;
}

namespace {

// Room for the data of a 'W' request: the buffer less head, header, address and check code.
constexpr std::size_t kMaxWriteBytes = frame::kRequestBufferSize - frame::kPrefixSize -
                                       frame::kStationHeaderSize - 4 - frame::kCheckSize;

} // namespace

bool CProtocol::writeWords(std::uint32_t address, std::span<const std::uint16_t> words) {
    if (words.size() * 2 > kMaxWriteBytes) {
        lastError_ = kErrorRequestRefused;
        return false;
    }
    Builder b(*this, frame::kWrite, stationHeader_);
    b.put32(address);
    for (const std::uint16_t w : words) {
        b.put16(w);
    }
    return transact(b.finish(), frame::kWrite, true, Check::Exact, 0);
}

bool CProtocol::writeBytes(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxWriteBytes) {
        lastError_ = kErrorRequestRefused;
        return false;
    }
    Builder b(*this, frame::kWrite, stationHeader_);
    b.put32(address);
    b.put(bytes);
    return transact(b.finish(), frame::kWrite, true, Check::Exact, 0);
}

bool CProtocol::downloadBlock(std::uint8_t kind, std::uint8_t id, std::uint16_t value1,
                              std::uint16_t value2, std::span<const std::uint8_t> data) {
    if (data.size() > kMaxDownloadData || !isDownloadKind(kind)) {
        lastError_ = kErrorRequestRefused;
        return false;
    }
    const auto size = static_cast<std::uint16_t>(data.size());
    Builder b(*this, frame::kDownload, stationHeader_ || downloadKindAlwaysHasHeader(kind));
    b.put8(kind);
    switch (kind) {
    case 'P':
        b.put8(0x00);
        b.put16(value1);
        b.put16(value2);
        break;
    case 'B':
        b.put8(id);
        break;
    default: // 'C' and the kinds that always carry the header share one layout
        b.put8(id);
        b.put16(value1);
        b.put16(value2);
        break;
    }
    b.put16(size);
    b.put(data);
    return transact(b.finish(), frame::kDownload, true, Check::Exact, 0);
}

bool CProtocol::password(std::span<const std::uint8_t, kPasswordBlockSize> block,
                         std::uint8_t& answer) {
    Builder b(*this, frame::kPassword, true);
    b.maskFromHere();
    b.put(block);
    const SecretAnswer masked(*this, 1, SIZE_MAX); // only the answer byte is in clear
    if (!transact(b.finish(), frame::kPassword, true, Check::AtLeast, 1)) {
        return false;
    }
    answer = responseData_[0];
    return true;
}

bool CProtocol::uploadAnswerFits() const {
    // Exactly one block: nothing may follow the data its header announces.
    const auto block = UploadBlock::parse(std::span(responseData_).first(responseLength_));
    if (!block || UploadBlock::kHeaderSize + block->data.size() != responseLength_) {
        return false;
    }
    const std::uint16_t total = block->total;
    const std::uint16_t number = block->number;
    if (number >= total || (!uploadOpens_ && uploadTotal_ != 0 && total != uploadTotal_)) {
        return false;
    }
    if (stationHeader_) {
        return number == uploadBlock_;
    }
    // Without the header the request names no block: the opening one gets the first.
    return uploadOpens_ ? number == 0 : number >= uploadBlock_;
}

bool CProtocol::upload(std::uint8_t kind, std::uint16_t value, bool send,
                       std::span<std::uint8_t> out, std::size_t& received) {
    received = 0;
    const bool write = stationHeader_ || send;
    std::size_t size = 0;
    if (write) {
        Builder b(*this, frame::kUpload, stationHeader_);
        b.put8(kind);
        b.put8(0x00);
        if (stationHeader_) {
            b.put16(value);
        }
        if (std::any_of(token_.begin(), token_.begin() + 4,
                        [](std::uint8_t t) { return t != 0; })) {
            b.maskFromHere();
            b.put(token_);
        }
        size = b.finish();
    }
    uploadBlock_ = value;
    uploadOpens_ = send;
    if (uploadOpens_) {
        // The rest of an earlier stream goes first, while its block count is still known.
        drainStream();
        uploadTotal_ = 0;
    }
    const bool ok = transact(size, frame::kUpload, write, Check::Upload);
    if (send && !stationHeader_) {
        // The PLC streams the image from now on, unless it refused the request, or the request
        // never went out.
        const bool refused = lastError_ == kErrorNoAttempts || lastError_ == kChannelWriteFailed ||
                             (lastError_ != kErrorNone && lastError_ < 0x80);
        streamOpen_ = ok || !refused;
        streamNext_ = 0;
        streamsBehind_ = transactWrites_ > 1 ? transactWrites_ - 1 : 0;
    }
    if (!ok) {
        return false;
    }
    if (uploadOpens_) {
        uploadTotal_ = UploadBlock::parse(std::span(responseData_).first(responseLength_))->total;
    }
    if (!stationHeader_) {
        const auto block = UploadBlock::parse(std::span(responseData_).first(responseLength_));
        streamNext_ = static_cast<std::uint16_t>(block->number + 1);
        streamOpen_ = streamOpen_ && (streamNext_ < uploadTotal_ || streamsBehind_ > 0);
    }
    if (responseLength_ > out.size()) {
        // The caller's buffer cannot take the answer; copying part of it would hide that.
        lastError_ = kErrorFrameDoesNotFit;
        return false;
    }
    std::copy_n(responseData_.begin(), responseLength_, out.begin());
    received = responseLength_;
    return true;
}

} // namespace dlu
