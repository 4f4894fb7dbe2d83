// The download engine against the in-process simulator: what the simulated PLC reassembled
// must be exactly the package's files, in the order and framing the PLC expects.
#include "download/DownloadSequence.h"
#include "DownloadRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace dlu {
namespace {

using test::Bytes;
using test::DownloadRig;
using test::PackageBuilder;
using test::Scheme;

std::uint16_t identityFor(CpuType cpu) {
    static const std::map<CpuType, std::uint16_t> kIdentities{
        {0, 0x3100}, {5, 0x5810}, {26, 0x7A31}, {27, 0x7A32}, {28, 0x7A33}};
    return kIdentities.at(cpu);
}

sim::PlcConfig plcFor(CpuType cpu) {
    sim::PlcConfig config;
    config.identityWord = identityFor(cpu);
    config.cpuType = cpu;
    return config;
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) {
        b[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 8));
    }
    return b;
}

struct Expected {
    char kind;
    unsigned id;
    Bytes bytes;
};

// What a download of the builder's package must deliver, worked out from the builder's own
// files and nothing of the engine.
std::vector<Expected> expectedItems(const PackageBuilder& b, CpuType cpu,
                                    std::vector<std::pair<unsigned, std::string>> st,
                                    const std::vector<Bytes>& programs) {
    std::vector<Expected> out;
    const Bytes prm = b.parameterFile();
    if (prm.size() > 100) {
        out.push_back({'P', 0, Bytes(prm.begin() + 100, prm.end())});
    }
    const Bytes link = b.linkFile();
    for (unsigned i = 0; i < 128; ++i) {
        const auto at = link.begin() + 100 + 64 * i;
        out.push_back({'B', i, Bytes(at, at + 64)});
    }
    for (unsigned i = 0; i < programs.size(); ++i) {
        if (!programs[i].empty()) {
            out.push_back({'C', i, programs[i]});
        }
    }
    if (cpu < 26 || cpu > 28) {
        return out;
    }
    const auto entries = b.entries();
    const auto file = [&](const std::string& name) -> std::optional<Bytes> {
        std::optional<Bytes> found;
        for (const auto& [n, content] : entries) {
            if (n == name) {
                found = content; // a later entry of the same name replaces the earlier
            }
        }
        return found;
    };
    const auto add = [&](char kind, unsigned id, const std::string& name) {
        if (const auto content = file(name); content && !content->empty()) {
            out.push_back({kind, id, *content});
        }
    };
    std::sort(st.begin(), st.end());
    for (const auto& [number, name] : st) {
        for (const auto& [ext, kind] :
             {std::pair{".STB", 'b'}, std::pair{".STL", 'l'}, std::pair{".STV", 'v'},
              std::pair{".STA", 'a'}, std::pair{".STS", 's'}}) {
            add(kind, number, "ST/" + name + ext);
        }
    }
    add('T', 0, "ST/StTable.STI");
    add('V', 0, "Global/GlobalVar.GLV");
    add('A', 0, "Global/GlobalVar.GLA");
    add('S', 0, "Global/GlobalVar.GLS");
    add('t', 0, "Global/GlobalVar.GLI");
    return out;
}

std::string listing(const std::vector<Expected>& items) {
    std::string out;
    for (const auto& e : items) {
        out += test::itemLine(e.kind, e.id, DownloadSequence::blockCount(e.bytes.size()),
                              e.bytes.size());
    }
    return out;
}

std::string listing(const std::vector<DownloadItemPlan>& plan) {
    std::string out;
    for (const auto& p : plan) {
        out += test::itemLine(static_cast<char>(p.kind), p.id, p.blocks, p.bytes);
    }
    return out;
}

// Counts what the observer saw.
struct CountingObserver final : DownloadObserver {
    void planned(std::span<const DownloadItemPlan> items, std::uint64_t total) override {
        plannedItems = items.size();
        plannedTotal = total;
    }
    void itemStarted(const DownloadItemPlan&, std::size_t) override { ++started; }
    void blockSent(const DownloadProgress& p) override {
        EXPECT_GE(p.bytesSent, lastSent);
        EXPECT_LT(p.block, p.item->blocks);
        lastSent = p.bytesSent;
        lastTotal = p.totalBytes;
        ++blocks;
    }
    void finished(bool ok) override { finishedWith = ok; }

    std::size_t plannedItems = 0;
    std::uint64_t plannedTotal = 0;
    std::size_t started = 0;
    std::size_t blocks = 0;
    std::uint64_t lastSent = 0;
    std::uint64_t lastTotal = 0;
    std::optional<bool> finishedWith;
};

// Writes the package, connects to a PLC at REMOTE STOP, sends 0x83 and runs the engine.
struct Download {
    Download(DownloadRig& r, const std::string& packagePath, std::optional<DownloadJob> given = {})
        : rig(r), job(given ? *given : r.job(packagePath)),
          sequence(r.context(), r.session, r.reader, job) {
        r.session.setProjectCpuType(job.projectCpuType);
        connected = r.session.connect() && r.session.beginDownload();
        r.prompter.clear();
        sequence.setObserver(&observer);
    }
    bool run() { return sequence.run(); }

    DownloadRig& rig;
    DownloadJob job;
    CountingObserver observer;
    DownloadSequence sequence;
    bool connected = false;
};

struct WholeCase {
    const char* name;
    CpuType cpu;
    bool xp;
    Scheme inner;
    std::vector<Bytes> programs;
    std::size_t parameterBytes;
    std::vector<std::pair<unsigned, std::string>> st;
};

// Whole downloads: every item the simulator put together equals the package's bytes, in
// order, and the plan the engine announced is what the PLC received.
TEST(DownloadSequence, WholeDownloadsDeliverThePackageFiles) {
    // clang-format off
    const WholeCase cases[] = {
        {"older layout, big-endian", 0, false, Scheme::None,
         {pattern(64, 1), pattern(952, 2), Bytes{}, pattern(1024, 3)}, 240, {}},
        {"XP layout, big-endian, 256-unit program", 5, true, Scheme::Current, {pattern(1024, 4)},
         100, {}},
        {"XP layout, little-endian", 26, true, Scheme::Older, {pattern(476, 5), pattern(480, 6)},
         477, {}},
        {"Linux family with ST programs", 27, true, Scheme::Current, {pattern(240, 7)}, 3580,
         {{5, "Main"}, {0, "Conv"}, {127, "Last"}}},
        {"no parameter data", 28, true, Scheme::None, {pattern(8, 8)}, 0, {{3, "Only"}}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadRig rig(plcFor(c.cpu));
        PackageBuilder b;
        b.project("Line1", c.cpu).xpLink(c.xp).innerScheme(c.inner).linkPrograms(c.programs);
        b.parameterData(pattern(c.parameterBytes, 9));
        for (const auto& [n, name] : c.st) {
            b.st(static_cast<std::uint8_t>(n), name);
        }
        const std::string path = rig.dir.file("Line1.DWN");
        b.write(path);
        const Bytes original = test::readFile(path);

        Download d(rig, path);
        ASSERT_TRUE(d.connected);
        ASSERT_TRUE(d.run());
        EXPECT_TRUE(d.sequence.succeeded());
        EXPECT_EQ(rig.shown(), std::vector<std::string>{rig.text(651)});

        const auto expected = expectedItems(b, c.cpu, c.st, c.programs);
        EXPECT_EQ(test::receivedListing(rig.plc), listing(expected));
        EXPECT_EQ(listing(d.sequence.plan()), listing(expected));
        const auto& items = rig.plc.downloadItems();
        ASSERT_EQ(items.size(), expected.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].bytes(), expected[i].bytes) << expected[i].kind << expected[i].id;
        }
        // Every block but the last of an item is full, and the items go one after the other
        // (a 952-byte program as four full blocks, only after all 128 PBT entries).
        std::size_t runs = 0;
        for (std::size_t i = 0; i < rig.records.size(); ++i) {
            const auto& r = rig.records[i];
            if (r.value1 && *r.value2 + 1 < *r.value1) {
                EXPECT_EQ(r.data.size(), 238u) << test::describe(r);
            }
            const bool same =
                i > 0 && rig.records[i - 1].kind == r.kind && rig.records[i - 1].id == r.id;
            runs += same ? 0 : 1;
        }
        EXPECT_EQ(runs, expected.size());

        std::uint64_t total = 0;
        for (const auto& e : expected) {
            total += e.bytes.size();
        }
        EXPECT_EQ(d.observer.plannedTotal, total);
        EXPECT_EQ(d.observer.lastSent, total);
        EXPECT_EQ(d.observer.plannedItems, expected.size());
        EXPECT_EQ(d.observer.started, expected.size());
        EXPECT_EQ(d.observer.blocks, rig.records.size());
        EXPECT_EQ(d.observer.finishedWith, true);

        EXPECT_EQ(test::readFile(path), original);
        EXPECT_EQ(rig.dir.listing(), std::vector<std::string>{"Line1.DWN"});
    }
}

// The block rule on the parameter data: value 1 = block count in every block, value 2 = the
// index, full blocks but the last; more than 3580 bytes sends nothing at all.
TEST(DownloadSequence, ParameterBlocksAndLimit) {
    struct Case {
        std::size_t bytes;
        unsigned blocks; // 0: no 'P' request
        bool accepted;
    };
    for (const Case c : {Case{0, 0, true}, Case{1, 1, true}, Case{238, 1, true}, Case{476, 2, true},
                         Case{477, 3, true}, Case{3580, 16, true}, Case{3581, 0, false}}) {
        SCOPED_TRACE(c.bytes);
        DownloadRig rig(plcFor(26));
        PackageBuilder b;
        b.project("Line1", 26).parameterData(pattern(c.bytes, 1));
        const std::string path = rig.dir.file("Line1.DWN");
        b.write(path);
        const Bytes original = test::readFile(path);
        Download d(rig, path);
        ASSERT_TRUE(d.connected);
        EXPECT_EQ(d.run(), c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(rig.shown(), std::vector<std::string>{rig.text(653)});
            EXPECT_EQ(d.sequence.failure(), DownloadSequence::Failure::ParameterTooLarge);
            EXPECT_TRUE(rig.records.empty()) << "nothing is sent for a refused package";
            EXPECT_EQ(test::readFile(path), original);
            EXPECT_EQ(rig.dir.listing(), std::vector<std::string>{"Line1.DWN"});
            continue;
        }
        std::vector<test::WireRecord> p;
        std::copy_if(rig.records.begin(), rig.records.end(), std::back_inserter(p),
                     [](const auto& r) { return r.kind == 'P'; });
        ASSERT_EQ(p.size(), c.blocks);
        Bytes joined;
        for (unsigned i = 0; i < p.size(); ++i) {
            EXPECT_EQ(p[i].value1, c.blocks);
            EXPECT_EQ(p[i].value2, i);
            EXPECT_EQ(p[i].data.size(), i + 1 < p.size() ? 238u : c.bytes - 238u * i);
            joined.insert(joined.end(), p[i].data.begin(), p[i].data.end());
        }
        EXPECT_EQ(joined, pattern(c.bytes, 1));
        if (!p.empty()) {
            EXPECT_EQ(rig.records.front().kind, 'P') << "the parameter data go first";
        }
    }
}

// The Tx delay: before every parameter block, and for the XP layout before each of the 128
// PBT entries and each of the 128 program entries (skipped ones too); never otherwise.
TEST(DownloadSequence, TxDelayBeforeTheRightRequests) {
    struct Case {
        std::uint8_t index;
        bool xp;
        std::chrono::milliseconds delay;
    };
    using std::chrono::milliseconds;
    for (const Case c : {Case{2, true, milliseconds(200)}, Case{2, false, milliseconds(200)},
                         Case{0, true, milliseconds(0)}, Case{9, true, milliseconds(500)}}) {
        SCOPED_TRACE(testing::Message() << int{c.index} << (c.xp ? " XP" : " older"));
        DownloadRig rig(plcFor(26));
        rig.settings.nTxDelay = c.index;
        PackageBuilder b;
        b.project("Line1", 26).xpLink(c.xp).parameterData(pattern(477, 1));
        b.linkPrograms({pattern(64, 2), pattern(300, 3)}); // slots 0 and 1; 126 unused
        const std::string path = rig.dir.file("Line1.DWN");
        b.write(path);
        Download d(rig, path);
        rig.clock.clearSleeps();
        ASSERT_TRUE(d.run());

        const bool waits = c.delay.count() > 0;
        for (const auto& r : rig.records) {
            std::size_t want = 0;
            if (waits && r.kind == 'P') {
                want = 1;
            } else if (waits && c.xp && (r.kind == 'B' || (r.kind == 'C' && *r.value2 == 0))) {
                want = 1;
            }
            EXPECT_EQ(r.sleepsBefore, want) << test::describe(r);
        }
        const std::size_t total = waits ? 3u + (c.xp ? 256u : 0u) : 0u;
        ASSERT_EQ(rig.clock.sleeps().size(), total);
        for (const auto s : rig.clock.sleeps()) {
            EXPECT_EQ(s, c.delay);
        }
    }
}

// An ST program file, the ST table or a global file that is empty sends nothing (the block
// rule would give a block with index -1); a missing one is skipped; the others go in kind
// order with the entry's number as id.
TEST(DownloadSequence, EmptyAndMissingStFilesSendNothing) {
    DownloadRig rig(plcFor(26));
    PackageBuilder b;
    b.project("Line1", 26).st(5, "Main");
    b.extra("ST/Main.STA", {}).extra("ST/StTable.STI", {}).extra("Global/GlobalVar.GLS", {});
    auto entries = b.entries();
    std::erase_if(entries, [](const auto& e) { return e.first == "ST/Main.STV"; });
    const std::string path = rig.dir.file("Line1.DWN");
    test::writeFile(
        path, PackageBuilder::encrypt(Scheme::Current,
                                      PackageBuilder::zip(entries, test::ZipMethod::Deflated)));

    Download d(rig, path);
    ASSERT_TRUE(d.run());
    std::string tail;
    for (const auto& item : rig.plc.downloadItems()) {
        if (item.kind != 'P' && item.kind != 'B' && item.kind != 'C') {
            tail += test::itemLine(static_cast<char>(item.kind), item.id, item.blockCount,
                                   item.bytes().size());
        }
    }
    EXPECT_EQ(tail, test::itemLine('b', 5, 1, 8) + test::itemLine('l', 5, 1, 100) +
                        test::itemLine('s', 5, 1, 8) + test::itemLine('V', 0, 1, 4) +
                        test::itemLine('A', 0, 1, 4) + test::itemLine('t', 0, 1, 4));
    for (const auto& p : d.sequence.plan()) {
        EXPECT_GT(p.blocks, 0u) << p.label << ": the plan lists only what is sent";
    }
    for (const auto& r : rig.records) {
        EXPECT_FALSE(r.data.empty()) << test::describe(r);
        if (r.value1) {
            EXPECT_LT(*r.value2, *r.value1) << test::describe(r);
        }
    }
}

// The programming tool ran on a case-insensitive file system: packages spell the ST and
// global folders and files in any case, and the download sends them all the same.
TEST(DownloadSequence, LetterCaseOfStAndGlobalNamesDoesNotMatter) {
    DownloadRig rig(plcFor(26));
    PackageBuilder b;
    b.project("Line1", 26).st(5, "Main").st(7, "Belt").linkPrograms({pattern(64, 1)});
    auto entries = b.entries();
    for (auto& [name, content] : entries) {
        const bool st = name.starts_with("ST/");
        const bool global = name.starts_with("Global/");
        for (char& c : name) { // ST in lower case, Global in upper case
            const auto u = static_cast<unsigned char>(c);
            c = static_cast<char>(st ? std::tolower(u) : global ? std::toupper(u) : u);
        }
    }
    const std::string path = rig.dir.file("Line1.DWN");
    test::writeFile(
        path, PackageBuilder::encrypt(Scheme::Current,
                                      PackageBuilder::zip(entries, test::ZipMethod::Deflated)));
    Download d(rig, path);
    ASSERT_TRUE(d.run());
    EXPECT_EQ(test::receivedListing(rig.plc),
              listing(expectedItems(b, 26, {{5, "Main"}, {7, "Belt"}}, {pattern(64, 1)})));
}

// Files the PLC could not take whole are refused before the first request.
TEST(DownloadSequence, DamagedOrOversizedFilesSendNothing) {
    struct Case {
        const char* name;
        PackageBuilder builder;
        std::string shown;
        DownloadSequence::Failure failure;
    };
    const Messages en(Language::English);
    std::vector<Case> cases;
    cases.push_back({"parameter file cut inside its header",
                     PackageBuilder().project("Line1", 26).extra("Line1.PRM", pattern(99, 4)),
                     std::string(en(653)), DownloadSequence::Failure::ParameterDamaged});
    Bytes shortLink = PackageBuilder().project("Line1", 26).linkFile();
    shortLink.pop_back();
    cases.push_back({"link file shorter than its PBT says",
                     PackageBuilder().project("Line1", 26).extra("Line1.BIN", shortLink),
                     std::string(en(657)), DownloadSequence::Failure::LinkFileDamaged});
    // 65536 blocks: the 16-bit block count and index would wrap.
    cases.push_back(
        {"ST file of 65536 blocks",
         PackageBuilder()
             .project("Line1", 26)
             .st(5, "Main")
             .extra("ST/Main.STV", Bytes(std::size_t{65536} * DownloadSequence::kBlockSize, 0)),
         "This file is too large to download (more than 65535 blocks): ST005 Main.STV",
         DownloadSequence::Failure::ItemTooLarge});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadRig rig(plcFor(26));
        const std::string path = rig.dir.file("Line1.DWN");
        c.builder.write(path);
        Download d(rig, path);
        EXPECT_FALSE(d.run());
        EXPECT_EQ(d.sequence.failure(), c.failure);
        EXPECT_EQ(rig.shown(), std::vector<std::string>{c.shown});
        EXPECT_TRUE(rig.records.empty());
        EXPECT_EQ(rig.dir.listing(), std::vector<std::string>{"Line1.DWN"});
    }
}

// For a CPU type outside the Linux family the ST and global files are never sent, even with
// an ST table handed over.
TEST(DownloadSequence, StFilesIgnoredForOtherCpuTypes) {
    DownloadRig rig(plcFor(0));
    const std::string path = rig.dir.file("Line1.DWN");
    PackageBuilder().project("Line1", 0).st(5, "Main").write(path);
    DownloadJob job = rig.job(path);
    Bytes stl(100, 0);
    stl[3] = 5;
    std::copy_n("Main", 4, stl.begin() + 36);
    ASSERT_TRUE(job.stTable.addStl(stl));
    Download d(rig, path, job);
    ASSERT_TRUE(d.run());
    for (const auto& item : rig.plc.downloadItems()) {
        EXPECT_TRUE(item.kind == 'P' || item.kind == 'B' || item.kind == 'C') << item.kind;
    }
}

// An ST program name becomes part of a path: a name holding a path separator is skipped,
// even when a file of the package lies where it leads.
TEST(DownloadSequence, StNamesHoldingAPathAreSkipped) {
    DownloadRig rig(plcFor(26));
    PackageBuilder b;
    b.project("Line1", 26).st(5, "Main").extra("Out.STB", Bytes(8, 0x0B));
    for (const auto& [number, name] : {std::pair{6, "../Out"}, std::pair{7, "..\\Out"}}) {
        Bytes stl(100, 0);
        stl[3] = static_cast<std::uint8_t>(number);
        std::copy_n(name, std::string_view(name).size(), stl.begin() + 36);
        b.extra("ST/Evil" + std::to_string(number) + ".STL", stl);
    }
    const std::string path = rig.dir.file("Line1.DWN");
    b.write(path);
    Download d(rig, path);
    ASSERT_TRUE(d.job.stTable.present(6));
    ASSERT_TRUE(d.run());
    std::set<unsigned> stIds;
    for (const auto& item : rig.plc.downloadItems()) {
        if (item.kind == 'b' || item.kind == 'l') {
            stIds.insert(item.id);
        }
    }
    EXPECT_EQ(stIds, std::set<unsigned>{5});
}

// A parameter file that is not what its extension says (and does not decrypt to it) is sent
// as it is.
TEST(DownloadSequence, FileFailingItsKindCheckIsSentAsItIs) {
    DownloadRig rig(plcFor(26));
    const std::string path = rig.dir.file("Line1.DWN");
    PackageBuilder().project("Line1", 26).extra("Line1.PRM", pattern(150, 4)).write(path);
    Download d(rig, path);
    ASSERT_TRUE(d.run());
    ASSERT_FALSE(rig.plc.downloadItems().empty());
    const auto& first = rig.plc.downloadItems().front();
    EXPECT_EQ(first.kind, 'P');
    const Bytes raw = pattern(150, 4);
    EXPECT_EQ(first.bytes(), Bytes(raw.begin() + 100, raw.end()));
}

// A package that cannot be opened: message 400 from the reader, nothing sent, nothing left.
TEST(DownloadSequence, UnusablePackageStopsAtOnce) {
    DownloadRig rig(plcFor(26));
    const std::string path = rig.dir.file("Line1.DWN");
    PackageBuilder().project("Line1", 26).write(path);
    DownloadJob job = rig.job(path);
    PackageBuilder().project("Line1", 26).without("BIN").write(path);
    const Bytes original = test::readFile(path);
    Download d(rig, path, job);
    EXPECT_FALSE(d.run());
    EXPECT_EQ(d.sequence.failure(), DownloadSequence::Failure::PackageUnusable);
    EXPECT_EQ(rig.shown(), std::vector<std::string>{rig.text(400) + "\nmissing link file (.BIN)"});
    EXPECT_TRUE(rig.records.empty());
    EXPECT_EQ(test::readFile(path), original);
    EXPECT_EQ(rig.dir.listing(), std::vector<std::string>{"Line1.DWN"});
    EXPECT_EQ(d.observer.finishedWith, false);
}

} // namespace
} // namespace dlu
