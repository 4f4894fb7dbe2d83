// The download button's steps: connection, CPU mode questions, the download, Remote RUN; the
// sample packages made outside our code; failures in the middle of a download.
#include "download/DownloadFlow.h"
#include "DownloadRig.h"
#include "common/MessageIds.h"
#include "common/TextFormat.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>
#include <filesystem>
#include <future>
#include <tuple>

#ifndef DLU_SAMPLES_DIR
#error "DLU_SAMPLES_DIR names the folder of the sample packages"
#endif

namespace dlu {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::DownloadRig;
using Json = nlohmann::json;
using test::PackageBuilder;
using Outcome = DownloadFlow::Outcome;

constexpr std::uint8_t kBegin = 0x83;

Bytes hex(const std::string& h) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::size_t count(const std::vector<std::uint8_t>& commands, std::uint8_t c) {
    return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), c));
}

// Every 'D' request of a sample's download, as its description lists them.
class SampleDownload : public ::testing::TestWithParam<const char*> {};

TEST_P(SampleDownload, SendsExactlyTheListedRecords) {
    const std::string base = std::string(DLU_SAMPLES_DIR) + "/" + GetParam();
    const Bytes text = test::readFile(base + ".json");
    const Json sample = Json::parse(std::string(text.begin(), text.end()));

    sim::PlcConfig config;
    config.identityWord = static_cast<std::uint16_t>(sample["identity"].get<long long>());
    config.cpuType = static_cast<CpuType>(sample["info"]["cpu_type"].get<long long>());
    DownloadRig rig(config);
    const std::string path = rig.dir.file(std::string(GetParam()) + ".DWN");
    fs::copy_file(base + ".DWN", path);
    const Bytes original = test::readFile(path);

    DownloadFlow flow(rig.context(), rig.session, rig.reader);
    const DownloadJob job = rig.job(path);
    ASSERT_EQ(job.projectCpuType, config.cpuType);
    ASSERT_EQ(flow.run(job), Outcome::Succeeded);

    const auto& want = sample["records"];
    ASSERT_EQ(rig.records.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        const Json& w = want[i];
        test::WireRecord r;
        r.kind = w["kind"].get<std::string>()[0];
        r.id = static_cast<unsigned>(w["id"].get<long long>());
        if (!w["value1"].is_null()) {
            r.value1 = static_cast<unsigned>(w["value1"].get<long long>());
            r.value2 = static_cast<unsigned>(w["value2"].get<long long>());
        }
        r.data = hex(w["data"].get<std::string>());
        ASSERT_EQ(rig.records[i], r) << "record " << i << ": got " << test::describe(rig.records[i])
                                     << ", want " << test::describe(r);
    }
    EXPECT_EQ(test::readFile(path), original);
    EXPECT_EQ(rig.dir.listing(), std::vector<std::string>{std::string(GetParam()) + ".DWN"});
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleDownload, ::testing::Values("Conveyor", "Press"),
                         [](const auto& p) { return std::string(p.param); });

struct ModeCase {
    const char* name;
    sim::KeySwitch key;
    sim::RunState state;
    std::vector<PromptAnswer> answers;
    std::vector<int> shown; // message ids, in order
    Outcome outcome;
    bool downloads;
    std::size_t modeChanges;
    sim::RunState finalState;
};

// The CPU mode checks before and the Remote RUN offer after the download.
TEST(DownloadFlow, CpuModeQuestions) {
    using sim::KeySwitch;
    using sim::RunState;
    using A = PromptAnswer;
    using O = Outcome;
    const auto Local = KeySwitch::Local, Remote = KeySwitch::Remote;
    const auto Run = RunState::Run, Stop = RunState::Stop, Pause = RunState::Pause;
    // clang-format off
    const ModeCase cases[] = {
        {"LOCAL RUN: 661 until Cancel", Local, Run, {A::Retry, A::Retry, A::Cancel},
         {661, 661, 661}, O::ModeCheckCancelled, false, 0, Run},
        {"REMOTE RUN: 662 Yes, 663 Yes", Remote, Run, {A::Yes, A::Yes}, {662, 651, 663},
         O::Succeeded, true, 2, Run},
        {"REMOTE RUN: 662 Yes, 663 No", Remote, Run, {A::Yes, A::No}, {662, 651, 663},
         O::Succeeded, true, 1, Stop},
        {"REMOTE RUN: 662 No", Remote, Run, {A::No}, {662}, O::StopDeclined, false, 0, Run},
        {"REMOTE STOP: no question before", Remote, Stop, {A::Yes}, {651, 663}, O::Succeeded,
         true, 1, Run},
        {"LOCAL STOP: no question at all", Local, Stop, {}, {651}, O::Succeeded, true, 0, Stop},
        {"LOCAL PAUSE: 661", Local, Pause, {A::Cancel}, {661}, O::ModeCheckCancelled, false, 0,
         Pause},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::PlcConfig config;
        config.key = c.key;
        config.state = c.state;
        DownloadRig rig(config);
        for (const auto a : c.answers) {
            rig.prompter.answer(a);
        }
        const std::string path = rig.dir.file("Line1.DWN");
        PackageBuilder().project("Line1", 26).write(path);
        DownloadFlow flow(rig.context(), rig.session, rig.reader);
        EXPECT_EQ(flow.run(rig.job(path)), c.outcome);

        std::vector<std::string> want;
        for (const int id : c.shown) {
            want.push_back(rig.text(id));
        }
        EXPECT_EQ(rig.shown(), want);
        for (const auto& s : rig.prompter.shown()) {
            if (s.text == rig.text(661)) {
                EXPECT_EQ(s.buttons, PromptButtons::RetryCancel);
                EXPECT_EQ(s.icon, PromptIcon::Stop);
            } else if (s.text == rig.text(662) || s.text == rig.text(663)) {
                EXPECT_EQ(s.buttons, PromptButtons::YesNoDefaultNo);
                EXPECT_EQ(s.icon, PromptIcon::Question);
            }
        }
        EXPECT_EQ(rig.prompter.unusedAnswers(), 0u);
        EXPECT_EQ(count(rig.commands, 'M'), c.modeChanges);
        EXPECT_EQ(rig.plc.runState(), c.finalState);
        EXPECT_EQ(count(rig.commands, kBegin), c.downloads ? 1u : 0u);
        EXPECT_EQ(rig.records.empty(), !c.downloads);
        if (!c.downloads) {
            continue;
        }
        // 'M' 32 before 0x83, 0x83 right before the first 'D', 'M' 16 after the last.
        const auto begin = std::find(rig.commands.begin(), rig.commands.end(), kBegin);
        EXPECT_EQ(*(begin + 1), 'D');
        const auto lastD = std::find(rig.commands.rbegin(), rig.commands.rend(), 'D').base();
        if (c.state == RunState::Run) {
            EXPECT_LT(std::find(rig.commands.begin(), rig.commands.end(), 'M'), begin);
        }
        if (c.finalState == RunState::Run) {
            EXPECT_NE(std::find(lastD, rig.commands.end(), 'M'), rig.commands.end());
        }
        ASSERT_FALSE(rig.clock.sleeps().empty());
        EXPECT_EQ(rig.clock.sleeps().back(), std::chrono::milliseconds(100));
        EXPECT_FALSE(rig.com.hasChannel()) << "disconnected after the download";
    }
}

// Turning the key while 661 is up ends the questions: the next look finds REMOTE.
TEST(DownloadFlow, KeyTurnedDuringRetry) {
    sim::PlcConfig config;
    config.key = sim::KeySwitch::Local;
    config.state = sim::RunState::Run;
    DownloadRig rig(config);
    struct Turning final : Prompter {
        PromptAnswer message(std::string_view text, PromptButtons, PromptIcon) override {
            shown.emplace_back(text);
            if (shown.size() == 2) {
                plc->setKeySwitch(sim::KeySwitch::Remote);
            }
            return text == remoteRun ? PromptAnswer::No : PromptAnswer::Retry;
        }
        sim::PlcSimulator* plc = nullptr;
        std::string remoteRun;
        std::vector<std::string> shown;
    } turning;
    turning.plc = &rig.plc;
    turning.remoteRun = rig.text(663);
    OnlineContext ctx = rig.context();
    OnlineContext withTurning{ctx.commSet, ctx.com, ctx.protocol, turning, ctx.messages, ctx.clock};
    COnlineModule session(withTurning);
    const std::string path = rig.dir.file("Line1.DWN");
    PackageBuilder().project("Line1", 26).write(path);
    DownloadFlow flow(withTurning, session, rig.reader);
    // 661 twice; the key turns at the second, so the third look asks 662 (answered with
    // Retry here, which is not Yes: the flow stops without switching).
    EXPECT_EQ(flow.run(rig.job(path)), Outcome::StopDeclined);
    EXPECT_EQ(turning.shown,
              (std::vector<std::string>{rig.text(661), rig.text(661), rig.text(662)}));
    EXPECT_TRUE(rig.records.empty());
}

TEST(DownloadFlow, MissingChoicesAndFailedConnect) {
    DownloadRig rig;
    DownloadFlow flow(rig.context(), rig.session, rig.reader);
    EXPECT_EQ(flow.run(DownloadJob{}), Outcome::NoPackage);
    EXPECT_EQ(rig.shown(), std::vector<std::string>{rig.text(401)});

    const std::string path = rig.dir.file("Line1.DWN");
    PackageBuilder().project("Line1", 26).write(path);
    rig.prompter.clear();
    EXPECT_EQ(flow.run(rig.job(path), false), Outcome::NoConnection);
    EXPECT_EQ(rig.shown(), std::vector<std::string>{rig.text(402)});
    EXPECT_EQ(rig.plc.requestCount(), 0u);

    sim::PlcConfig unknown;
    unknown.identityWord = 0x5131; // 'Q': no such CPU
    DownloadRig other(unknown);
    DownloadFlow flow2(other.context(), other.session, other.reader);
    EXPECT_EQ(flow2.run(other.job(path)), Outcome::ConnectFailed);
    EXPECT_EQ(other.shown(), (std::vector<std::string>{other.text(615), other.text(403)}));
    EXPECT_FALSE(other.com.hasChannel());
    EXPECT_TRUE(other.records.empty());
}

// A package damaged after it was opened: the PLC at REMOTE RUN is not asked, not stopped and
// not put into its download state.
TEST(DownloadFlow, UnreadablePackageLeavesThePlcUntouched) {
    sim::PlcConfig config;
    config.key = sim::KeySwitch::Remote;
    config.state = sim::RunState::Run;
    DownloadRig rig(config);
    const std::string path = rig.dir.file("Bad.DWN");
    PackageBuilder().project("Bad", 26).without("INI").write(path);
    DownloadFlow flow(rig.context(), rig.session, rig.reader);
    EXPECT_EQ(flow.run(rig.job(path)), Outcome::PackageFailed);
    ASSERT_FALSE(rig.shown().empty());
    for (const auto& text : rig.shown()) {
        EXPECT_EQ(text, rig.text(400) + "\nmissing project information (.INI file)");
    }
    EXPECT_EQ(rig.plc.requestCount(), 0u);
    EXPECT_EQ(rig.plc.runState(), sim::RunState::Run);
    EXPECT_TRUE(rig.records.empty());
}

// The text of message 682 up to its item name.
std::string holdingPrefix(const DownloadRig& rig) {
    const std::string text = rig.text(Msg::HoldsPartOfProject);
    return text.substr(0, text.find("%s"));
}

// The label the download gives an item the simulated PLC has kept.
std::string labelOf(const sim::DownloadItem& item) {
    char text[32];
    switch (item.kind) {
    case 'P':
        return "Parameter";
    case 'B':
        std::snprintf(text, sizeof text, "PBT %03u", unsigned{item.id});
        return text;
    default:
        std::snprintf(text, sizeof text, "Program %03u", unsigned{item.id});
        return text;
    }
}

// Puts a fault into the simulator just before the first 'D' request.
struct FaultAtStart final : DownloadObserver {
    explicit FaultAtStart(std::function<void()> arm) : arm_(std::move(arm)) {}
    void planned(std::span<const DownloadItemPlan>, std::uint64_t) override { arm_(); }
    std::function<void()> arm_;
};

// A failure in the middle: the error is shown ("PLC Error" for a dead line), nothing after
// the failed request is sent, and the package is as it was with nothing of ours left.
TEST(DownloadFlow, FailureInTheMiddleCleansUp) {
    struct Case {
        const char* name;
        std::function<void(DownloadRig&)> arm;
        std::vector<int> shownIds;
        const char* shownText;
        DownloadSequence::Failure failure = DownloadSequence::Failure::RequestFailed;
    };
    const std::string unreadable =
        "A file of the package could not be read; nothing more was sent: ST001 Main.STL";
    const Case cases[] = {
        {"'E' answer",
         [](DownloadRig& rig) {
             auto& plc = rig.plc;
             // Every attempt of the 40th request, however many the settings allow.
             for (std::uint64_t n = 0; n < 10; ++n) {
                 plc.faults().errorReplies.push_back(
                     {std::uint8_t{'D'}, plc.requestCount() + 40 + n, 9});
             }
         },
         {602, 626},
         nullptr},
        {"no answer",
         [](DownloadRig& rig) {
             auto& plc = rig.plc;
             for (std::uint64_t n = 1; n <= 10; ++n) {
                 plc.faults().dropRequests.insert(plc.requestCount() + 40 + n);
             }
         },
         {},
         "PLC Error"},
        {"dropped connection",
         [](DownloadRig& rig) { rig.plc.faults().closeAfterFrames = rig.plc.responseCount() + 40; },
         {},
         "PLC Error"},
        // A file measured for the plan that has gone when its turn comes.
        {"unpacked file gone",
         [](DownloadRig& rig) { fs::remove(rig.reader.StFolder() + "Main.STL"); },
         {},
         unreadable.c_str(),
         DownloadSequence::Failure::FileUnreadable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadRig rig;
        const std::string path = rig.dir.file("Line1.DWN");
        PackageBuilder().project("Line1", 26).st(1, "Main").write(path);
        const Bytes original = test::readFile(path);
        FaultAtStart fault([&] { c.arm(rig); });
        DownloadFlow flow(rig.context(), rig.session, rig.reader);
        flow.setObserver(&fault);
        EXPECT_EQ(flow.run(rig.job(path)), Outcome::DownloadFailed);
        EXPECT_EQ(flow.sequenceFailure(), c.failure);

        std::vector<std::string> want;
        for (const int id : c.shownIds) {
            want.push_back(rig.text(id));
        }
        if (c.shownText != nullptr) {
            want.emplace_back(c.shownText);
        }
        // Then what the PLC holds: a part of the project, in STOP.
        auto shown = rig.shown();
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().rfind(holdingPrefix(rig), 0), 0u) << shown.back();
        shown.pop_back();
        // A failed request names its item and block on the line under its message.
        if (c.failure == DownloadSequence::Failure::RequestFailed) {
            ASSERT_FALSE(shown.empty());
            const std::string& last = shown.back();
            const auto br = last.find('\n');
            ASSERT_NE(br, std::string::npos) << last;
            EXPECT_TRUE(std::regex_match(last.substr(br + 1),
                                         std::regex("sending (Parameter|PBT [0-9]{3}|Program "
                                                    "[0-9]{3}), block [0-9]+ of [0-9]+(: .*)?")))
                << last;
            shown.back().resize(br);
        }
        EXPECT_EQ(shown, want);
        EXPECT_LT(rig.plc.downloadItems().size(), 140u);
        EXPECT_EQ(test::readFile(path), original);
        EXPECT_EQ(rig.dir.listing(), std::vector<std::string>{"Line1.DWN"});
        EXPECT_FALSE(rig.com.hasChannel());
    }
}

// Two downloads of one package at the same time, each to its own PLC: each open has its own
// working folder, so both deliver the whole project.
TEST(DownloadFlow, TwoDownloadsOfOnePackageAtOnce) {
    test::TempDir dir;
    const std::string path = dir.file("Line1.DWN");
    PackageBuilder b;
    for (std::uint8_t n = 0; n < 40; ++n) {
        b.st(n, "Prog" + std::to_string(n));
    }
    b.project("Line1", 26).program(3, "Main", 1).innerScheme(test::Scheme::Current).write(path);
    const auto download = [&path] {
        DownloadRig rig;
        DownloadFlow flow(rig.context(), rig.session, rig.reader);
        const Outcome outcome = flow.run(rig.job(path));
        return std::make_tuple(outcome, rig.shown(), rig.records);
    };
    const auto [alone, aloneShown, expected] = download();
    ASSERT_EQ(alone, Outcome::Succeeded);
    for (int round = 0; round < 3; ++round) {
        auto first = std::async(std::launch::async, download);
        auto second = std::async(std::launch::async, download);
        for (auto* f : {&first, &second}) {
            const auto [outcome, shown, records] = f->get();
            EXPECT_EQ(outcome, Outcome::Succeeded);
            EXPECT_EQ(shown, aloneShown);
            EXPECT_TRUE(records == expected);
        }
    }
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"Line1.DWN"});
}

} // namespace
} // namespace dlu

namespace dlu {
namespace {

// Stops the download from the observer: after `blocks` blocks (a Cancel between two requests),
// or with the link cut after the PLC answered them.
struct StopAfter final : DownloadObserver {
    StopAfter(std::size_t blocks, std::function<void()> cut = {})
        : blocks_(blocks), cut_(std::move(cut)) {}
    void blockSent(const DownloadProgress&) override {
        if (++sent_ == blocks_ && cut_) {
            cut_();
        }
    }
    bool cancelled() override {
        ++asked_;
        return !cut_ && sent_ >= blocks_;
    }
    std::size_t blocks_;
    std::function<void()> cut_;
    std::size_t sent_ = 0;
    std::size_t asked_ = 0;
};

// A download that ends part-way, by Cancel or by a dead link, at a block boundary: the PLC keeps
// only whole items, the user is told which, and Remote RUN is not offered.
TEST(DownloadFlow, StoppedDownloadSaysWhatThePlcHolds) {
    struct Case {
        const char* name;
        std::size_t blocks; // blocks answered before the stop
        bool cancel;
        Outcome outcome;
    };
    // The project: the parameter in 1 block, 128 PBT entries, then the programs.
    const Case cases[] = {
        {"Cancel inside the PBT", 41, true, Outcome::DownloadCancelled},
        {"Cancel before the first block", 0, true, Outcome::DownloadCancelled},
        {"Cancel inside a program", 129 + 2, true, Outcome::DownloadCancelled},
        {"link cut inside the PBT", 41, false, Outcome::DownloadFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::PlcConfig config;
        config.key = sim::KeySwitch::Remote;
        config.state = sim::RunState::Run;
        DownloadRig rig(config);
        const std::string path = rig.dir.file("Line1.DWN");
        PackageBuilder()
            .project("Line1", 26)
            .parameterData(Bytes(200, 0x11))
            .linkPrograms({Bytes(1000, 0x55)})
            .write(path);
        rig.prompter.answer(PromptAnswer::Yes); // Remote STOP
        StopAfter stop(c.blocks);
        if (!c.cancel) {
            stop = StopAfter(c.blocks, [&rig] {
                rig.plc.faults().closeAfterFrames = rig.plc.responseCount();
            });
        }
        DownloadFlow flow(rig.context(), rig.session, rig.reader);
        flow.setObserver(&stop);
        EXPECT_EQ(flow.run(rig.job(path)), c.outcome);

        // Only what was answered reached the PLC, and nothing after the stop.
        EXPECT_EQ(rig.records.size(), c.blocks + (c.cancel ? 0 : 1));
        const auto& kept = rig.plc.downloadItems();
        const auto shown = rig.shown();
        ASSERT_FALSE(shown.empty());
        std::string holding = kept.empty()
                                  ? rig.text(Msg::HoldsNoItem)
                                  : formatText(rig.text(Msg::HoldsPartOfProject),
                                               labelOf(kept.back()).c_str());
        if (c.cancel) {
            holding = rig.text(Msg::DownloadCancelled) + "\n" + holding;
        }
        EXPECT_EQ(shown.back(), holding);
        EXPECT_EQ(rig.prompter.shown().back().icon, PromptIcon::Warning);
        if (!c.cancel) { // the failed request: the PBT entry after the last one kept
            ASSERT_GE(shown.size(), 2u);
            ASSERT_FALSE(kept.empty());
            ASSERT_EQ(kept.back().kind, 'B');
            char next[48];
            std::snprintf(next, sizeof next, "PLC Error\nsending PBT %03u, block 1 of 1",
                          kept.back().id + 1u);
            const std::string& failed = shown[shown.size() - 2];
            EXPECT_EQ(failed.rfind(next, 0), 0u) << failed;
        }
        for (const auto& text : shown) {
            EXPECT_NE(text, rig.text(Msg::AskRemoteRun));
            EXPECT_NE(text, rig.text(Msg::DownloadSucceeded));
        }
        EXPECT_FALSE(flow.askedRemoteRun());
        EXPECT_EQ(rig.plc.runState(), sim::RunState::Stop);
        EXPECT_EQ(count(rig.commands, 'M'), 1u) << "Remote STOP only";
        EXPECT_FALSE(rig.com.hasChannel());
    }
}

// An A-21 project offered to an A-01: the question comes before anything changes in the PLC;
// No sends nothing after the identification, Yes downloads.
TEST(DownloadFlow, UncheckedCpuPairAsksFirst) {
    for (const auto answer : {PromptAnswer::No, PromptAnswer::Yes}) {
        sim::PlcConfig config;
        config.identityWord = 0x3130;
        config.cpuType = 26;
        config.key = sim::KeySwitch::Remote;
        config.state = sim::RunState::Run;
        DownloadRig rig(config);
        const std::string path = rig.dir.file("Line1.DWN");
        PackageBuilder().project("Line1", 26).write(path);
        rig.prompter.answer(answer);
        rig.prompter.answer(PromptAnswer::Yes); // Remote STOP, when asked
        DownloadFlow flow(rig.context(), rig.session, rig.reader);
        const Outcome outcome = flow.run(rig.job(path));
        const auto& first = rig.prompter.shown().at(0);
        EXPECT_EQ(first.text.rfind(rig.text(616), 0), 0u) << first.text;
        EXPECT_EQ(first.buttons, PromptButtons::YesNoDefaultNo);
        if (answer == PromptAnswer::No) {
            EXPECT_EQ(outcome, Outcome::CpuTypeDeclined);
            EXPECT_EQ(rig.shown().size(), 1u) << "no further message after the user's No";
            EXPECT_EQ(count(rig.commands, 'M'), 0u);
            EXPECT_EQ(count(rig.commands, kBegin), 0u);
            EXPECT_TRUE(rig.records.empty());
            EXPECT_EQ(rig.plc.runState(), sim::RunState::Run);
        } else {
            EXPECT_EQ(outcome, Outcome::Succeeded);
            EXPECT_EQ(rig.plc.beginDownloadCount(), 1u);
        }
    }
}

} // namespace
} // namespace dlu
