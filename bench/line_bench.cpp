// Download and full backup over the emulated serial line at 9,600, 38,400 and 115,200 baud,
// in-process: the simulator behind a line that delivers every byte both ways at its wire time
// (10 bits a byte) plus an optional PLC turnaround per request. Prints for each: the wire time
// of all bytes both ways plus the turnarounds, the measured time, their ratio (1 means the
// program adds nothing to what the line imposes) and our overhead per request in µs.
//
// The full sizes (a 1 MB project, the whole device memory of CPU type 26) take 116 s and 14 s
// at 115,200 baud and twelve times that at 9,600, so by default both are cut down to about
// --line-seconds=S of wire time each (3 s) with full-size frames: the overhead per request
// and the ratio do not depend on how many requests there are. --full runs the full sizes.
// --turnaround=MS adds a PLC turnaround to every request. "ours/req" is the program's own time
// per request (from handing out the last byte of an answer to writing the next request); the
// rest of the overhead is the line's wake-ups coming late on a busy machine and the run's
// fixed work. The last column is the process's processor time per request, the simulator's
// and the line's sleeps included.
//
// Each case runs three times: straight to the port, through a USB-serial adapter model whose
// 16 ms latency timer the program could not lower, and through one whose timer it lowered to
// 1 ms on open (the channels' own request, AdapterLatency, against an emulated driver that
// refuses it or takes the low-latency flag). The ratio stays against the line's wire time, so
// what the adapter holds shows as a lower ratio.

#include "BenchSupport.h"
#include "PackageBuilder.h"
#include "comm/COnlineModule.h"
#include "comm/CommSet.h"
#include "comm/Connection.h"
#include "common/Clock.h"
#include "common/StringTable.h"
#include "devmem/DeviceMemoryTransfer.h"
#include "download/DownloadSequence.h"
#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/PackageReading.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/LineEmulation.h"
#include "sim/PlcSimulator.h"

#ifdef DLU_BENCH_QT
#include "comm/channels/AdapterLatency.h"
#endif

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace dlu;
namespace fs = std::filesystem;
using test::Bytes;

constexpr CpuType kCpu = 26;
constexpr std::uint32_t kRates[] = {9600, 38400, 115200};
// A download carries about 1.34 bytes on the wire per byte of program.
constexpr double kWirePerByte = 1.34;

double g_lineSeconds = 3.0;
bool g_full = false;
std::uint32_t g_turnaroundMs = 0;

// The adapter between the program and the line.
enum class Adapter { None, Stuck16, Lowered };
constexpr const char* kAdapterNames[] = {"direct", "16 ms", "1 ms"};

#ifdef DLU_BENCH_QT
// The driver of an emulated adapter at 16 ms: its attribute is not writable; the low-latency
// flag is taken (the timer drops to 1 ms) or refused.
class EmulatedAdapterDriver final : public SerialLatencyDriver {
public:
    explicit EmulatedAdapterDriver(bool takesFlag) : takesFlag_(takesFlag) {}
    std::optional<unsigned> latencyTimer(const std::string&) override { return timer_; }
    bool setLatencyTimer(const std::string&, unsigned) override { return false; }
    std::optional<int> serialFlags(int) override { return flags_; }
    bool setSerialFlags(int, int flags) override {
        if (!takesFlag_) {
            return false;
        }
        flags_ = flags;
        timer_ = (flags & kLowLatencyFlag) != 0 ? 1 : 16;
        return true;
    }

private:
    bool takesFlag_;
    int flags_ = 0;
    unsigned timer_ = 16;
};
#endif

// The timer the line runs with after the program asked the adapter for low latency.
std::uint32_t adapterLatencyMs(Adapter adapter) {
    if (adapter == Adapter::None) {
        return 0;
    }
#ifdef DLU_BENCH_QT
    AdapterLatency latency(std::make_shared<EmulatedAdapterDriver>(adapter == Adapter::Lowered));
    const LatencyChange change = latency.lower(-1, "emulated adapter");
    return change.timer.value_or(16);
#else
    return adapter == Adapter::Lowered ? 1 : 16;
#endif
}

struct Result {
    std::string what;
    std::uint32_t baud = 0;
    Adapter adapter = Adapter::None;
    std::string size;
    std::uint64_t requests = 0;
    std::uint64_t wireBytes = 0;
    double wireSeconds = 0;
    double measuredSeconds = 0;
    double cpuSeconds = 0; // user and system time of the process meanwhile
    double ownSeconds = 0; // from the last byte of each answer to the next request
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
std::vector<Result> g_results;

// The simulator behind the line, and a session on it as dlutil wires one.
struct LineSession {
    LineSession(std::uint32_t baud, Adapter adapter)
        : plc(config(), faults(baud, adapter)), factory(plc), timed(factory, own) {
        CommSet settings;
        settings.setDefaults();
        settings.nConType = kConSimulator;
        settings.nTxDelay = 0;
        connection.emplace(ConnectionDescription::fromCommSet(settings), timed, prompter, messages,
                           clock);
        plc.setFrameLog([this](bool sent, std::span<const std::uint8_t> frame) {
            wireBytes += frame.size();
            answers += sent ? 1 : 0;
        });
    }
    static sim::PlcConfig config() {
        sim::PlcConfig c;
        c.key = sim::KeySwitch::Remote;
        c.state = sim::RunState::Stop;
        return c;
    }
    static sim::FaultConfig faults(std::uint32_t baud, Adapter adapter) {
        sim::FaultConfig f;
        f.baud = baud;
        f.turnaroundMs = g_turnaroundMs;
        f.adapterLatencyMs = adapterLatencyMs(adapter);
        return f;
    }
    COnlineModule& session() { return connection->session(); }

    // Runs `step` and records its time against the line's for the bytes it moved.
    template <typename Step> bool measure(Result& r, Step step) {
        wireBytes = 0;
        answers = 0;
        own = {};
        if (timed.last != nullptr) {
            timed.last->restart();
        }
        const double cpuBefore = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const bool ok = step();
        const auto end = std::chrono::steady_clock::now();
        r.cpuSeconds = cpuSeconds() - cpuBefore;
        const sim::LineEmulation line = plc.line();
        r.requests = answers;
        r.wireBytes = wireBytes;
        r.wireSeconds =
            std::chrono::duration<double>(line.wireTime(wireBytes) + line.turnaround() * answers)
                .count();
        r.measuredSeconds = std::chrono::duration<double>(end - start).count();
        r.ownSeconds = std::chrono::duration<double>(own).count();
        return ok;
    }

    sim::PlcSimulator plc;
    sim::EmbeddedChannelFactory factory;
    std::chrono::nanoseconds own{0};
    bench::TimedFactory timed;
    bench::SilentPrompter prompter;
    Messages messages{Language::English};
    SystemClock clock;
    std::optional<Connection> connection;
    std::uint64_t wireBytes = 0;
    std::uint64_t answers = 0;
};

// A private folder for the package and the backup file.
const std::string& folder() {
    static const std::string path = [] {
        char pattern[] = "/tmp/dlu-line-bench-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made ? made : "");
    }();
    return path;
}

// Wire bytes a case may take at `baud`: the whole of it with --full.
double budgetBytes(std::uint32_t baud) { return g_lineSeconds * baud / 10.0; }

// A project of `count` programs of `size` bytes: 128 of 8 KB is the 1 MB project.
std::string writePackage(std::size_t count, std::size_t size) {
    test::PackageBuilder b;
    std::vector<Bytes> programs;
    for (std::size_t i = 0; i < count; ++i) {
        Bytes p(size);
        for (std::size_t k = 0; k < p.size(); ++k) {
            p[k] = static_cast<std::uint8_t>(i * 31 + k * 7);
        }
        programs.push_back(std::move(p));
    }
    b.project("Line", kCpu).xpLink(true).linkPrograms(programs);
    b.innerScheme(test::Scheme::Current);
    const std::string path =
        folder() + "/P" + std::to_string(count) + "x" + std::to_string(size) + ".DWN";
    b.write(path);
    return path;
}

void BM_LineDownload(benchmark::State& state) {
    const auto baud = static_cast<std::uint32_t>(state.range(0));
    const auto adapter = static_cast<Adapter>(state.range(1));
    std::size_t count = 128;
    std::size_t size = 8192;
    if (!g_full) {
        // Full 512-byte frames; fewer programs, and one shorter one when even one is too long.
        const double programs = budgetBytes(baud) / (8192.0 * kWirePerByte);
        count = std::clamp<std::size_t>(static_cast<std::size_t>(programs), 1, 128);
        if (programs < 1) {
            size = std::max<std::size_t>(
                1024, static_cast<std::size_t>(budgetBytes(baud) / kWirePerByte) / 512 * 512);
        }
    }
    const std::string package = writePackage(count, size);
    Result r{"download", baud, adapter,
             std::to_string(count) + " x " + std::to_string(size / 1024) + " KB"};
    for (auto _ : state) {
        LineSession s(baud, adapter);
        s.session().setProjectCpuType(kCpu);
        if (!s.session().connect() || !s.session().beginDownload()) {
            state.SkipWithError("no connection");
            return;
        }
        CFileControl reader(s.prompter, s.messages);
        const bool ok = s.measure(r, [&] {
            CFileEncryption encryption(s.prompter, s.messages);
            DownloadJob job;
            job.packagePath = package;
            const auto contents = readPackage(job.packagePath, reader, encryption);
            job.projectCpuType = contents ? contents->info.cpuType() : kNoCpuType;
            DownloadSequence sequence(s.connection->context(), s.session(), reader, job);
            return sequence.run();
        });
        if (!ok) {
            state.SkipWithError("download failed");
            return;
        }
    }
    g_results.push_back(r);
}

void BM_LineBackup(benchmark::State& state) {
    const auto baud = static_cast<std::uint32_t>(state.range(0));
    const auto adapter = static_cast<Adapter>(state.range(1));
    // A full backup moves about 160 KB on the wire; each area is cut to the same share.
    constexpr double kFullWireBytes = 160'000;
    const double share = g_full ? 1.0 : std::min(1.0, budgetBytes(baud) / kFullWireBytes);
    char label[32];
    std::snprintf(label, sizeof label, "%.0f%% of all", share * 100);
    Result r{"backup", baud, adapter, label};
    const fs::path file = folder() + "/Backup.PDM";
    for (auto _ : state) {
        LineSession s(baud, adapter);
        s.plc.fillDeviceMemory(7);
        s.session().setProjectCpuType(kCpu);
        if (!s.session().connect()) {
            state.SkipWithError("no connection");
            return;
        }
        DeviceMemoryTransfer t({s.session(), s.prompter, s.messages, s.clock},
                               DeviceMemoryMode::Backup, kCpu);
        t.setFile(file);
        t.selection().setMaximum();
        for (int area = 0; area < static_cast<int>(kDeviceAreaCount); ++area) {
            WordRange range = t.selection().area(area).range;
            const auto span = static_cast<double>(range.end - range.start);
            range.end = range.start + static_cast<std::uint32_t>(span * share);
            t.selection().setRange(area, range);
        }
        const bool ok =
            s.measure(r, [&] { return t.transfer() == DeviceMemoryTransfer::Result::Done; });
        if (!ok) {
            state.SkipWithError("backup failed");
            return;
        }
    }
    fs::remove(file);
    g_results.push_back(r);
}

void rates(benchmark::internal::Benchmark* b) {
    for (const std::uint32_t baud : kRates) {
        for (const Adapter adapter : {Adapter::None, Adapter::Stuck16, Adapter::Lowered}) {
            b->Args({baud, static_cast<std::int64_t>(adapter)});
        }
    }
    b->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
}
BENCHMARK(BM_LineDownload)->Apply(rates);
BENCHMARK(BM_LineBackup)->Apply(rates);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--full") {
            g_full = true;
        } else if (arg.starts_with("--line-seconds=")) {
            g_lineSeconds = std::atof(arg.c_str() + 15);
        } else if (arg.starts_with("--turnaround=")) {
            g_turnaroundMs = static_cast<std::uint32_t>(std::atoi(arg.c_str() + 13));
        } else {
            std::fprintf(stderr, "unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    // Late wake-ups on a busy machine are most of the overhead: say how busy it was, over the
    // last minute (the run takes about two).
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("\nturnaround %u ms; %s; load average %.1f %.1f %.1f\n", g_turnaroundMs,
                g_full ? "full sizes" : "sizes cut to the --line-seconds budget", load[0], load[1],
                load[2]);
    std::printf("%-9s %7s %-7s %-14s %8s %10s %9s %10s %7s %14s %12s %12s\n", "what", "baud",
                "adapter", "size", "requests", "wire bytes", "wire s", "measured s", "ratio",
                "overhead/req", "ours/req", "cpu/req");
    for (const Result& r : g_results) {
        const double ratio = r.measuredSeconds > 0 ? r.wireSeconds / r.measuredSeconds : 0;
        const double overhead = r.requests > 0 ? (r.measuredSeconds - r.wireSeconds) * 1e6 /
                                                     static_cast<double>(r.requests)
                                               : 0;
        const double perRequest = r.requests > 0 ? 1e6 / static_cast<double>(r.requests) : 0;
        std::printf(
            "%-9s %7u %-7s %-14s %8llu %10llu %9.3f %10.3f %7.4f %11.0f µs %9.0f µs %9.0f µs\n",
            r.what.c_str(), r.baud, kAdapterNames[static_cast<int>(r.adapter)], r.size.c_str(),
            static_cast<unsigned long long>(r.requests),
            static_cast<unsigned long long>(r.wireBytes), r.wireSeconds, r.measuredSeconds, ratio,
            overhead, r.ownSeconds * perRequest, r.cpuSeconds * perRequest);
    }
    // The lowered adapter against the direct port, case by case.
    std::printf("\nratio through the adapter lowered to 1 ms minus the direct port's:\n");
    for (const Result& lowered : g_results) {
        if (lowered.adapter != Adapter::Lowered) {
            continue;
        }
        for (const Result& direct : g_results) {
            if (direct.adapter == Adapter::None && direct.what == lowered.what &&
                direct.baud == lowered.baud && direct.measuredSeconds > 0 &&
                lowered.measuredSeconds > 0) {
                const double d = lowered.wireSeconds / lowered.measuredSeconds -
                                 direct.wireSeconds / direct.measuredSeconds;
                std::printf("  %-9s %7u  %+.4f%s\n", lowered.what.c_str(), lowered.baud, d,
                            d < -0.05 ? "  (more than 0.05 below)" : "");
            }
        }
    }
    std::error_code ec;
    fs::remove_all(folder(), ec);
    benchmark::Shutdown();
    return 0;
}
