#include "devmem/DeviceMemoryTransfer.h"

#include "DevmemRig.h"
#include "common/TextFormat.h"
#include "devmem/DeviceTransferPlan.h"
#include "devmem/TransferProgress.h"
#include "plc/DeviceArea.h"

#include <gtest/gtest.h>

namespace dlu {
namespace {

using test::DevmemRig;
using test::TempFolder;
using Rig = DevmemRig<>;

constexpr CpuType kA21 = 26;
constexpr auto kStep = std::chrono::milliseconds(5);

std::uint32_t be32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) |
           (std::uint32_t{d[at + 2]} << 8) | d[at + 3];
}

// Address and word count of every block of the 'R' requests the simulator received.
std::vector<std::pair<std::uint32_t, int>> reads(const Rig& rig) {
    std::vector<std::pair<std::uint32_t, int>> out;
    for (const auto& r : rig.requests('R')) {
        for (std::size_t at = 0; at + 5 <= r.data.size(); at += 5) {
            out.emplace_back(be32(r.data, at), r.data[at + 4] / 2);
        }
    }
    return out;
}

// Address and word count of every 'W' request.
std::vector<std::pair<std::uint32_t, int>> writes(const Rig& rig) {
    std::vector<std::pair<std::uint32_t, int>> out;
    for (const auto& r : rig.requests('W')) {
        out.emplace_back(be32(r.data, 0), static_cast<int>(r.data.size() - 4) / 2);
    }
    return out;
}

std::uint32_t wordAddress(const sim::PlcSimulator& plc, int area, std::uint32_t word) {
    // The transfer name of a word addresses that word (T and C included).
    return plc.address(DeviceAreas::transferAddress(area, word));
}

// A backup transfer over one area's range, everything else unchecked.
DeviceMemoryTransfer backupOf(Rig& rig, AreaIndex area, WordRange range,
                              const std::filesystem::path& file) {
    DeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Backup, kA21);
    t.selection().setAll(false);
    t.selection().setChecked(static_cast<int>(area), true);
    t.selection().setRange(static_cast<int>(area), range);
    t.setFile(file);
    return t;
}

struct Recorder final : TransferObserver {
    void opened() override { ++opens; }
    void update(const TransferProgress& p) override { updates.push_back(p); }
    void closed() override { ++closes; }
    int opens = 0;
    int closes = 0;
    std::vector<TransferProgress> updates;
};

TEST(DeviceMemoryTransfer, BackupAsksForEachChunkByItsFirstWord) {
    struct Case {
        AreaIndex area;
        WordRange range;
        std::vector<std::pair<std::string, int>> expected; // first word's name, words
    };
    const Case cases[] = {
        {AreaIndex::D, {0, 250}, {{"D00000", 100}, {"D00100", 100}, {"D00200", 50}}},
        {AreaIndex::X, {3, 50}, {{"X0030", 47}}},
        {AreaIndex::X, {0, 100}, {{"X0000", 100}}}, // no empty second request
        {AreaIndex::T, {0, 300}, {{"T0000", 100}, {"T1600", 100}, {"T3200", 100}}},
        {AreaIndex::D, {0, 0}, {}},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        Rig rig;
        ASSERT_TRUE(rig.connect(kA21));
        auto t = backupOf(rig, c.area, c.range, dir.path() / "b.PDM");
        Recorder progress;
        ASSERT_EQ(t.transfer(&progress), DeviceMemoryTransfer::Result::Done);

        std::vector<std::pair<std::uint32_t, int>> expected;
        for (const auto& [name, words] : c.expected) {
            expected.emplace_back(rig.plc.address(name), words);
        }
        EXPECT_EQ(reads(rig), expected) << c.range.start << ".." << c.range.end;
        // The read has completed when the session returns: no pause before taking it.
        EXPECT_EQ(rig.sleepsOf(kStep), 0u);
        EXPECT_EQ(progress.updates.size(), c.expected.size());
        EXPECT_EQ(progress.opens, 1);
        EXPECT_EQ(progress.closes, 1);
        if (!progress.updates.empty()) {
            EXPECT_EQ(progress.updates.back().percent, 100);
            EXPECT_EQ(progress.updates.back().line2,
                      c.expected.back().first + " Uploading...(100Word)");
        }
        EXPECT_EQ(rig.shown(), std::vector<std::string>{std::string(rig.messages(565))});
        EXPECT_EQ(t.selection().notice(), rig.messages(569));
    }
}

TEST(DeviceMemoryTransfer, BackupOfD3To10LandsAtTheFileOffsets) {
    TempFolder dir;
    Rig rig;
    ASSERT_TRUE(rig.connect(kA21));
    for (std::uint32_t w = 0; w < 12; ++w) {
        rig.plc.setWord(wordAddress(rig.plc, 9, w), static_cast<std::uint16_t>(0xA100 + w));
    }
    const auto file = dir.path() / "d.PDM";
    auto t = backupOf(rig, AreaIndex::D, {3, 10}, file);
    ASSERT_EQ(t.transfer(), DeviceMemoryTransfer::Result::Done);

    const auto bytes = test::readFile(file);
    ASSERT_EQ(bytes.size(), 146217u);
    std::vector<std::uint8_t> expected(146217, 0);
    expected[0] = 1;
    expected[1] = 0x00; // mask: bit 9 (D) only
    expected[2] = 0x02;
    expected[39] = 3; // D range 3..10
    expected[41] = 10;
    for (std::size_t w = 3; w < 10; ++w) {
        expected[45835 + 2 * w] = static_cast<std::uint8_t>(w);
        expected[45836 + 2 * w] = 0xA1;
    }
    EXPECT_TRUE(bytes == expected) << "words 0..2, 10 and 11 must stay out, everything else 0";
}

TEST(DeviceMemoryTransfer, BackupThenRestoreCopiesTheWritableAreas) {
    TempFolder dir;
    Rig source;
    ASSERT_TRUE(source.connect(kA21));
    for (int area = 0; area < DeviceAreas::kCount; ++area) {
        const auto cap = DeviceRanges::capacity(area, kA21);
        for (std::uint32_t w = 0; w < cap; ++w) {
            source.plc.setWord(
                wordAddress(source.plc, area, w),
                static_cast<std::uint16_t>(static_cast<std::uint32_t>(area) * 4099u + w * 7u + 1u));
        }
    }
    const auto file = dir.path() / "all.PDM";
    DeviceMemoryTransfer backup(source.context(), DeviceMemoryMode::Backup, kA21);
    backup.setFile(file);
    backup.selection().setMaximum();
    ASSERT_EQ(backup.transfer(), DeviceMemoryTransfer::Result::Done);

    Rig target;
    ASSERT_TRUE(target.connect(kA21));
    // CS words past those a file carries hold something the restore must not overwrite.
    constexpr int kCS = static_cast<int>(AreaIndex::CS);
    const auto csKept = [](std::uint32_t w) { return static_cast<std::uint16_t>(0xC500 + w); };
    for (std::uint32_t w = 4056; w < DeviceRanges::capacity(kCS, kA21); ++w) {
        target.plc.setWord(wordAddress(target.plc, kCS, w), csKept(w));
    }
    DeviceMemoryTransfer restore(target.context(), DeviceMemoryMode::Restore, kA21);
    ASSERT_EQ(restore.load(file), PdmFile::LoadResult::Loaded);
    ASSERT_EQ(restore.transfer(), DeviceMemoryTransfer::Result::Done);
    EXPECT_EQ(target.shown().back(), target.messages(567));
    EXPECT_EQ(target.sleepsOf(kStep), 0u);

    // The restore opens with a one-word read of F0050.
    const auto firstReads = reads(target);
    ASSERT_FALSE(firstReads.empty());
    EXPECT_EQ(firstReads.front(), std::make_pair(target.plc.address("F0050"), 1));

    // Areas a restore may not write keep what a fresh PLC holds; the CS words above 4055,
    // which a file does not carry, keep what the target held (not zeros from the file).
    const sim::PlcSimulator fresh;
    for (int area = 0; area < DeviceAreas::kCount; ++area) {
        const bool writable = DeviceTransferPlan::restoreAllowed(area, kA21);
        const auto cap = DeviceRanges::capacity(area, kA21);
        const std::uint32_t inFile = area == kCS ? 4056 : cap;
        int differing = 0;
        for (std::uint32_t w = 0; w < cap; ++w) {
            const auto a = wordAddress(source.plc, area, w);
            const bool copied = writable && w < inFile;
            const std::uint16_t want = copied                       ? source.plc.wordAt(a)
                                       : area == kCS && w >= inFile ? csKept(w)
                                                                    : fresh.wordAt(a);
            differing += target.plc.wordAt(a) != want ? 1 : 0;
        }
        EXPECT_EQ(differing, 0) << DeviceAreas::at(area).letter;
    }
}

// A range the selection refuses stops the transfer button with the refusal before anything
// goes to the PLC, in both directions.
TEST(DeviceMemoryTransfer, RefusedRangeSendsNothing) {
    TempFolder dir;
    for (const auto mode : {DeviceMemoryMode::Backup, DeviceMemoryMode::Restore}) {
        Rig rig;
        ASSERT_TRUE(rig.connect(kA21));
        DeviceMemoryTransfer t(rig.context(), mode, kA21);
        t.selection().setAll(false);
        t.selection().setChecked(static_cast<int>(AreaIndex::D), true);
        t.selection().setRange(static_cast<int>(AreaIndex::D), {300, 100});
        t.setFile(dir.path() / "r.PDM");
        const std::string refusal = t.selection().validate().message;
        ASSERT_FALSE(refusal.empty());
        int failingArea = -1;
        EXPECT_EQ(t.check(&failingArea), DeviceMemoryTransfer::Result::Invalid);
        EXPECT_EQ(failingArea, static_cast<int>(AreaIndex::D));
        EXPECT_EQ(t.transfer(), DeviceMemoryTransfer::Result::Invalid);
        EXPECT_EQ(rig.shown(), (std::vector<std::string>{refusal, refusal}));
        EXPECT_TRUE(rig.seen.empty());
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "r.PDM"));
    }
}

TEST(DeviceMemoryTransfer, UploadWithoutAnAnswerShowsTheErrorAndSavesNothing) {
    TempFolder dir;
    Rig rig;
    ASSERT_TRUE(rig.connect(kA21));
    for (std::uint64_t n = 1; n <= 40; ++n) {
        rig.plc.faults().dropRequests.insert(rig.plc.requestCount() + n);
    }
    const auto file = dir.path() / "never.PDM";
    auto t = backupOf(rig, AreaIndex::D, {0, 250}, file);
    EXPECT_EQ(t.transfer(), DeviceMemoryTransfer::Result::NothingRead);

    EXPECT_EQ(rig.shown().back(), rig.messages(550));
    EXPECT_EQ(rig.sleepsOf(kStep), 200u);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(t.image().loaded());
    // The protocol's own retries aside, the upload stops at the chunk that failed.
    for (const auto& [address, words] : reads(rig)) {
        EXPECT_EQ(address, rig.plc.address("D00000"));
    }
}

TEST(DeviceMemoryTransfer, RestoreStopsWhenAWriteIsNeverConfirmed) {
    TempFolder dir;
    const auto file = dir.path() / "src.PDM";
    {
        Rig source;
        ASSERT_TRUE(source.connect(kA21));
        auto b = backupOf(source, AreaIndex::D, {0, 250}, file);
        ASSERT_EQ(b.transfer(), DeviceMemoryTransfer::Result::Done);
    }
    Rig rig;
    ASSERT_TRUE(rig.connect(kA21));
    rig.plc.faults().errorReplies.push_back({frame::kWrite, 0, 9});
    DeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Restore, kA21);
    ASSERT_EQ(t.load(file), PdmFile::LoadResult::Loaded);
    rig.prompter.clear();
    EXPECT_EQ(t.transfer(), DeviceMemoryTransfer::Result::NotConfirmed);

    // The answer of the opening F0050 read is no confirmation of the first write.
    const auto sent = writes(rig);
    ASSERT_FALSE(sent.empty());
    for (const auto& [address, words] : sent) {
        EXPECT_EQ(address, rig.plc.address("D00000")) << "only the first chunk was tried";
    }
    EXPECT_EQ(rig.sleepsOf(kStep), 200u);
    const auto shown = rig.shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), formatText(rig.messages(568), "D00000"));
    EXPECT_EQ(std::count(shown.begin(), shown.end(), std::string(rig.messages(567))), 0);
}

// A range of the file's words beside one it does not hold: the first is written, the second
// named. Nothing but ranges it does not hold: nothing written is no restore, and the PLC is
// not touched at all.
TEST(DeviceMemoryTransfer, RestoreRangeAboveTheFileIsSkippedWithANotice) {
    TempFolder dir;
    const auto file = dir.path() / "cs.PDM";
    PdmImage image;
    image.setFlag(1);
    ASSERT_EQ(PdmFile::save(file, image), PdmFile::SaveResult::Saved);
    Rig rig;
    ASSERT_TRUE(rig.connect(kA21));
    DeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Restore, kA21);
    ASSERT_EQ(t.load(file), PdmFile::LoadResult::Loaded);
    t.selection().setAll(false);
    t.selection().setChecked(static_cast<int>(AreaIndex::CS), true);
    t.selection().setRange(static_cast<int>(AreaIndex::CS), {4060, 4090});
    rig.prompter.clear();
    const std::uint64_t requests = rig.plc.requestCount();
    EXPECT_EQ(t.transfer(), DeviceMemoryTransfer::Result::NothingWritten);
    EXPECT_TRUE(writes(rig).empty());
    EXPECT_EQ(rig.plc.requestCount(), requests);
    const std::string notice = "CS4060 to 4089 not restored: a device memory file holds CS "
                               "words up to 4055 only.";
    EXPECT_EQ(rig.shown(), std::vector<std::string>{notice});

    t.selection().setChecked(static_cast<int>(AreaIndex::CS), false);
    t.selection().setChecked(static_cast<int>(AreaIndex::D), true);
    t.selection().setRange(static_cast<int>(AreaIndex::D), {0, 10});
    t.selection().setChecked(static_cast<int>(AreaIndex::CS), true);
    rig.prompter.clear();
    EXPECT_EQ(t.transfer(), DeviceMemoryTransfer::Result::Done);
    EXPECT_FALSE(writes(rig).empty());
    const auto shown = rig.shown();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), notice), 1);
    EXPECT_EQ(shown.back(), std::string(rig.messages(567)));
}

// The read-back after a restore: clean after a good one; a write the PLC confirmed but never
// carried out is found and named, and a read-back without an answer is no success.
TEST(DeviceMemoryTransfer, VerifyReadsBackWhatTheRestoreWrote) {
    TempFolder dir;
    const auto file = dir.path() / "src.PDM";
    Rig source;
    ASSERT_TRUE(source.connect(kA21));
    const int d = static_cast<int>(AreaIndex::D);
    for (std::uint32_t w = 0; w < 300; ++w) {
        source.plc.setWord(wordAddress(source.plc, d, w), static_cast<std::uint16_t>(w * 7u + 1u));
    }
    auto b = backupOf(source, AreaIndex::D, {0, 250}, file);
    ASSERT_EQ(b.transfer(), DeviceMemoryTransfer::Result::Done);

    struct Case {
        const char* what;
        std::vector<std::uint64_t> lost; // write requests counted from the restore's first
        std::uint64_t differing;
        std::string firstName;
        bool answered = true;
    };
    const Case cases[] = {
        {"every write carried out", {}, 0, ""},
        // Request 1 is the opening read; 3 is the write of D100..D199.
        {"second write lost", {3}, 100, "D00100"},
        {"read-back unanswered", {}, 0, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        ASSERT_TRUE(rig.connect(kA21));
        for (const auto n : c.lost) {
            rig.plc.faults().loseWrites.insert(rig.plc.requestCount() + n);
        }
        DeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Restore, kA21);
        ASSERT_EQ(t.load(file), PdmFile::LoadResult::Loaded);
        ASSERT_EQ(t.transfer(), DeviceMemoryTransfer::Result::Done);
        if (!c.answered) {
            for (std::uint64_t n = 1; n <= 40; ++n) {
                rig.plc.faults().dropRequests.insert(rig.plc.requestCount() + n);
            }
        }
        Recorder progress;
        const auto found = t.verify(&progress);
        EXPECT_EQ(progress.closes, 1);
        if (!c.answered) {
            EXPECT_EQ(found.result, DeviceMemoryTransfer::Result::NothingRead);
            EXPECT_EQ(rig.shown().back(), rig.messages(550));
            continue;
        }
        EXPECT_EQ(found.result, DeviceMemoryTransfer::Result::Done);
        EXPECT_EQ(found.words, 250u);
        EXPECT_EQ(found.differing, c.differing);
        ASSERT_EQ(found.first.empty(), c.firstName.empty());
        if (!c.firstName.empty()) {
            EXPECT_EQ(found.first.size(), DeviceMemoryTransfer::kNamedDifferences);
            EXPECT_EQ(found.first[0].name, c.firstName);
            EXPECT_EQ(found.first[0].inImage, 100 * 7 + 1);
            EXPECT_EQ(found.first[0].inPlc, rig.plc.wordAt(wordAddress(rig.plc, d, 100)));
        }
        // The progress counts the bytes read back, out of all of them.
        ASSERT_FALSE(progress.updates.empty());
        EXPECT_EQ(progress.updates.back().totalBytes, 500u);
        EXPECT_EQ(progress.updates.back().bytes, 400u);
    }
}

// A file that is short, or whose flag is not 1, loads nothing (with its message); the restore
// then has nothing to send.
TEST(DeviceMemoryTransfer, RestoreNeedsALoadedImage) {
    TempFolder dir;
    std::vector<std::uint8_t> flag2(PdmImage::kFileSize, 0);
    flag2[0] = 2;
    const std::vector<std::uint8_t> shortFile(1000, 1);
    for (const auto& [bytes, message] : {std::pair{flag2, 560}, std::pair{shortFile, 577}}) {
        test::writeFile(dir.path() / "r.PDM", bytes);
        Rig rig;
        ASSERT_TRUE(rig.connect(kA21));
        DeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Restore, kA21);
        EXPECT_NE(t.load(dir.path() / "r.PDM"), PdmFile::LoadResult::Loaded);
        t.selection().setMaximum();
        EXPECT_EQ(t.transfer(), DeviceMemoryTransfer::Result::NothingToSend);
        EXPECT_EQ(rig.shown(), (std::vector<std::string>{std::string(rig.messages(message)),
                                                         std::string(rig.messages(566))}));
        EXPECT_TRUE(rig.seen.empty());
    }
}

TEST(DeviceMemoryTransfer, QuestionsChangeNothingOnNo) {
    Rig rig;
    DeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Backup, kA21);
    t.selection().setMaximum();
    const auto before = t.selection().areas();
    rig.prompter.answer(PromptAnswer::No);
    rig.prompter.answer(PromptAnswer::No);
    rig.prompter.answer(PromptAnswer::No);
    EXPECT_FALSE(t.askDefault());
    EXPECT_FALSE(t.askMaximum());
    EXPECT_FALSE(t.askClearAll());
    EXPECT_EQ(t.selection().areas(), before);
    EXPECT_EQ(rig.shown(), (std::vector<std::string>{std::string(rig.messages(555)),
                                                     std::string(rig.messages(556)),
                                                     std::string(rig.messages(557))}));
    rig.prompter.answer(PromptAnswer::Yes);
    EXPECT_TRUE(t.askClearAll());
    EXPECT_EQ(t.selection().area(9).range, WordRange{});
}

TEST(DeviceMemoryTransfer, OpeningPicksTheDefaultName) {
    Rig rig;
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 6;
    when.tm_hour = 8;
    when.tm_min = 5;
    when.tm_sec = 9;
    DeviceMemoryTransfer backup(rig.context(), DeviceMemoryMode::Backup, kA21);
    backup.open("/data", when);
    EXPECT_EQ(backup.file(), std::filesystem::path("/data/Device Data 20261206_080509.PDM"));
    EXPECT_EQ(backup.selection().checkedBits(), 0x021C) << "M, L, K and D";
    EXPECT_EQ(backup.title(), rig.messages(551));

    DeviceMemoryTransfer restore(rig.context(), DeviceMemoryMode::Restore, kA21);
    restore.open("/nonexistent-folder", when);
    EXPECT_TRUE(restore.file().empty()) << "no such file: no file at all";
    EXPECT_EQ(restore.selection().checkedBits(), 0);
}

} // namespace
} // namespace dlu
