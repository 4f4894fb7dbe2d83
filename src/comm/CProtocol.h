#pragma once

#include "comm/Channel.h"
#include "comm/FrameReceiver.h"
#include "comm/FrameTrace.h"
#include "comm/LoaderFrame.h"
#include "common/Clock.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace dlu {

// The loader protocol towards the PLC: builds every request frame, sends it through the channel,
// reads the response byte by byte and checks it. One object lives for the whole run and every
// session shares it; a failed transaction leaves its reason in lastErrorCode(), which the error
// report (ErrorReport) turns into messages.
//
// Requests that break a limit (too many read blocks, too many download bytes, a frame larger
// than the request buffer, an unknown mode or kind) are refused before anything is sent, with
// kErrorRequestRefused; an attempt count of 0 sends nothing either (kErrorNoAttempts).
class CProtocol {
public:
    enum class TestResult : int {
        WrongLength = 0, // something answered 't' with a length other than 5 (an echoing cable)
        Answered = 1,    // a PLC answered; stationHeaderFlag() says whether it takes the header
        NoAnswer = 2,    // no valid answer; lastErrorCode() says why
    };

    // One block of a read request.
    struct ReadBlock {
        std::uint32_t address = 0;
        std::uint8_t wordCount = 0;
    };

    // Mode values of changeCpuMode(): the program's own numbers, not the bytes on the wire.
    static constexpr std::uint16_t kModeRemoteRun = 16;
    static constexpr std::uint16_t kModeRemoteStop = 32;
    static constexpr std::uint16_t kModeActive = 20; // make a redundant CPU the active one

    static constexpr std::size_t kMaxReadBlocks = 49;
    static constexpr std::size_t kMaxDownloadData = 238;
    static constexpr std::size_t kPasswordBlockSize = 34;
    static constexpr std::size_t kPasswordTokenSize = 16;
    static constexpr std::uint8_t kNoStation = 0xFF;

    explicit CProtocol(Channel& channel, FrameTrace* trace = nullptr);

    CProtocol(const CProtocol&) = delete;
    CProtocol& operator=(const CProtocol&) = delete;

    void setTrace(FrameTrace* trace) { trace_ = trace; }
    // With a clock a whole answer has a deadline: its first byte within the time-out, the whole
    // frame within the time-out plus the line time of a full frame, both from the start of
    // the receive. Without one only each byte is bounded (by the channel's time-out).
    void setClock(Clock* clock) { clock_ = clock; }

    // After a receive time-out the retry waits for the guard: the time-out again, plus the
    // line time of a whole frame. Whatever arrives meanwhile is thrown away. Without the station
    // header nothing in an answer tells requests apart, so a late answer must never reach the
    // retry's receive, where it would pass for the retry's answer while the retry's own answer
    // came in for the next request. An answer that comes within twice the time-out of its
    // request is drained this way.
    //
    // A later answer is not drained by the guard, so without the header a time-out puts the
    // line out of step: the retries of the same request may take a late answer (it answers the
    // same bytes), but before the next request goes out the line must have been quiet until
    // every request sent so far is older than lateAnswerLimit(). Only a link without the header
    // that timed out pays for this; a good line never waits.
    // The longest an answer may be late and still be kept from another request: four times the
    // time-out, plus half a time-out and the line time of a whole frame as margin.
    std::chrono::milliseconds lateAnswerLimit() const;
    // Whether the line is out of step (see above) and waits before the next request.
    bool outOfStep() const { return outOfStep_; }
    // Without the station header an opening 'U' sets the PLC sending the whole image, block
    // after block. A caller that stops reading before the last block (a cancelled backup, a
    // failed pass) leaves the rest of that stream on the line, where the next request would
    // have to hunt through it for its answer. So before the next request that is not a 'U' of
    // the stream, the rest is read and thrown away: up to the image's last block, or until
    // the line has been quiet for a time-out, at most the bytes and the line time of the
    // blocks still due. An opening request that was sent again (its answer was late) set the
    // PLC streaming once more: each such stream is drained as well.
    bool uploadStreamOpen() const { return streamOpen_; }

    void setStationNumber(std::uint8_t station) { station_ = station; }
    std::uint8_t stationNumber() const { return station_; }
    void setAttemptCount(std::uint32_t count) { attempts_ = count; }
    std::uint32_t attemptCount() const { return attempts_; }
    std::uint8_t lastErrorCode() const { return lastError_; }
    // For a caller that refuses a transaction before it reaches the protocol (a device name
    // without an address): the error report then explains it like any other failure.
    void setRefused(ProtocolError code) { lastError_ = code; }
    bool stationHeaderFlag() const { return stationHeader_; }
    // Sequence number of the last request with the station header.
    std::uint8_t sequenceNumber() const { return sequence_; }
    // Counts requests on `shared` from now on instead of on its own counter: every protocol
    // object of a process that uses one counter goes on where the last one stopped, so a new
    // connection never starts the sequence over. It must outlive this object.
    void shareSequence(std::atomic<std::uint8_t>& shared) { sequenceSource_ = &shared; }
    // The counter of the process (see shareSequence()).
    static std::atomic<std::uint8_t>& processSequence();

    // Token of a successful password login, appended to 'U' requests while set.
    void setPasswordToken(std::span<const std::uint8_t, kPasswordTokenSize> token);
    void clearPasswordToken();
    std::span<const std::uint8_t, kPasswordTokenSize> passwordToken() const { return token_; }

    // Data of the last good response (station header not counted).
    std::uint16_t responseLength() const { return responseLength_; }
    std::span<const std::uint8_t> responseData() const {
        return {responseData_.data(), responseLength_};
    }

    // 't': opens a session and finds out whether the PLC takes the station header. Sent once,
    // whatever the attempt count.
    TestResult protocolTest();

    // 'M': kModeRemoteRun, kModeRemoteStop or kModeActive. Returns the mode value, 0 on failure.
    std::uint16_t changeCpuMode(std::uint16_t mode);

    // 0x83, right before the download frames.
    bool beginDownload();

    // 'R': 1 to 49 blocks; the words of all blocks, in block order, go to `words`, which must
    // hold at least the sum of the word counts.
    // The first `secretWords` words read hold a password: they (and the check code) never
    // reach the trace in clear.
    bool readWords(std::span<const ReadBlock> blocks, std::span<std::uint16_t> words,
                   std::size_t secretWords = 0);

    // 'W' with words (each sent high byte first) or with raw bytes, from `address` on.
    bool writeWords(std::uint32_t address, std::span<const std::uint16_t> words);
    bool writeBytes(std::uint32_t address, std::span<const std::uint8_t> bytes);

    // 'D': one block of a download item. `kind` picks the layout: 'P' (id not sent), 'B'
    // (values not sent), 'C', or one of 'T', 't', 'X', 'b', 'l', 'v', 'a', 's', 'V', 'A', 'S'
    // (always with the station header). At most 238 data bytes.
    bool downloadBlock(std::uint8_t kind, std::uint8_t id, std::uint16_t value1,
                       std::uint16_t value2, std::span<const std::uint8_t> data);

    // 'w': the 34-byte password request; the first byte of the answer goes to `answer`.
    bool password(std::span<const std::uint8_t, kPasswordBlockSize> block, std::uint8_t& answer);

    // 'U': one upload frame of the Linux device image. Without the station header and without
    // `send` nothing is written: the PLC keeps sending and this only takes the next response.
    // The response data go to `out` and their count to `received`.
    // An answer is one block: 2 bytes not used, the block count, the block number and the data
    // length (each 16-bit, high byte first), then exactly that many data bytes. It must be a
    // block of the image: number below a count of at least 1, the count the opening request
    // (the one with `send`) gave. With the station header the answer carries the block asked
    // for; without it the opening request gets block 0 and the stream that follows goes
    // forward only, never to a block before `value`. Anything else is a frame error; without
    // the header such a block (of a stale stream, say) is passed over and the next one that
    // comes within the answer's deadline looked at.
    bool upload(std::uint8_t kind, std::uint16_t value, bool send, std::span<std::uint8_t> out,
                std::size_t& received);

    // Whether the station header goes with every 'D' request of this kind; false for kinds
    // that follow the flag. Unknown kinds give false too (see isDownloadKind).
    static bool downloadKindAlwaysHasHeader(std::uint8_t kind);
    static bool isDownloadKind(std::uint8_t kind);

private:
    // Writes a frame into the request buffer.
    class Builder;
    class SecretAnswer;

    enum class Check { Any, Exact, AtLeast, Upload };

    bool transact(std::size_t frameSize, std::uint8_t command, bool send = true,
                  Check check = Check::Any, std::size_t dataLength = 0);
    // `fresh`: the answer's deadline starts now; else the one under way goes on.
    bool receive(std::uint8_t command, bool fresh = true);
    // Whether the answer is a block the current 'U' request allows (see upload()).
    bool uploadAnswerFits() const;
    // Next byte of the current answer, within its deadline when there is a clock.
    ChannelRead readByte();
    // Takes what the channel has (waiting at most `limit` for a first byte, at most `most`
    // bytes) into the empty receive buffer; false with the reason in lastRead_ when nothing
    // came.
    bool refill(std::chrono::milliseconds limit, std::size_t most);
    void startDeadline();
    // Last error code of a failed write.
    std::uint8_t writeFailure();
    // Throws away what is already waiting on the channel, without waiting for more.
    void discardWaiting();
    // After a time-out: throws away whatever arrives until the guard has passed (not until
    // the line falls quiet).
    void discardDuringGuard();
    // After a time-out without the header: the line is out of step until `sentAt_` is older
    // than lateAnswerLimit().
    void markOutOfStep();
    void noteSent() {
        if (clock_ != nullptr) {
            sentAt_ = clock_->now();
        }
    }
    // Before a new request on a line out of step: throws away whatever comes until every
    // earlier request is older than lateAnswerLimit().
    void settle();
    // Reads the rest of an upload stream and throws it away (see uploadStreamOpen()).
    void drainStream();
    // Throws away what comes until `end` (bounded in bytes); false when the link is gone.
    void dropUntil(Clock::TimePoint end);
    // Throws away what was taken and what comes with gaps of at most `gap` (bounded).
    void dropArriving(std::chrono::milliseconds gap);
    void traceSent(std::size_t frameSize);
    void traceReceived();

    Channel& channel_;
    FrameTrace* trace_ = nullptr;
    Clock* clock_ = nullptr;
    Clock::TimePoint deadline_{};
    bool firstByte_ = true;
    // When the last request went out, and until when a line out of step must stay quiet.
    Clock::TimePoint sentAt_{};
    Clock::TimePoint settleBy_{};
    bool outOfStep_ = false;

    std::uint8_t lastError_ = kErrorNone;
    std::uint8_t station_ = kNoStation;
    std::uint8_t sequence_ = 0;
    std::atomic<std::uint8_t> ownSequence_{0};
    std::atomic<std::uint8_t>* sequenceSource_ = &ownSequence_;
    bool stationHeader_ = false;
    std::uint32_t attempts_ = 1;

    std::array<std::uint8_t, kPasswordTokenSize> token_{};

    // The 'U' request under way: the block asked for, whether it opens the upload, and the
    // block count the answer to the opening request gave (0 before one).
    std::uint16_t uploadBlock_ = 0;
    bool uploadOpens_ = false;
    std::uint16_t uploadTotal_ = 0;
    // Without the header: whether the PLC may still be sending blocks of an image, and the
    // number of the next block it sends.
    bool streamOpen_ = false;
    std::uint16_t streamNext_ = 0;
    // Whole streams still to come behind that one: an opening request sent again (its answer
    // was late or lost) sets the PLC sending the image once more.
    std::uint32_t streamsBehind_ = 0;
    // Requests the current transaction wrote.
    std::uint32_t transactWrites_ = 0;

    std::uint16_t responseLength_ = 0;
    std::array<std::uint8_t, frame::kResponseDataSize> responseData_{};
    std::array<std::uint8_t, frame::kRequestBufferSize> request_{};
    FrameReceiver receiver_;

    // Bytes taken from the channel in one call and not yet handed to the receiver: what
    // follows the current answer stays here for the next receive, unless a request goes out
    // first (then it is stale and thrown away like everything else still waiting).
    std::array<std::uint8_t, frame::kMaxReceiveBytes> inbox_{};
    std::size_t inboxNext_ = 0;
    std::size_t inboxSize_ = 0;
    std::uint8_t lastRead_ = kChannelTimeout; // why the last refill brought nothing

    // What the trace sees: received bytes of the current receive, and the part of the request
    // that must not appear in clear (password block, password token).
    std::array<std::uint8_t, frame::kMaxReceiveBytes> received_{};
    std::size_t receivedCount_ = 0;
    std::size_t maskOffset_ = 0;
    std::size_t maskLength_ = 0;
    // Data bytes [from, to) of the answers are masked in the trace, and then the check code.
    std::size_t answerMaskFrom_ = 0;
    std::size_t answerMaskTo_ = 0;
};

} // namespace dlu
