// A large project (128 programs of 8 KB, full parameter data, ST programs) downloaded by the
// engine: in-process, over loopback TCP to plcsim, and over a pseudo-terminal to plcsim
// pacing 115200 baud. Beside each, a baseline of the same frames with no work between them:
// the frames alone through the in-process simulator, a raw ping-pong of the same sizes over
// loopback TCP, and the wire time of all bytes at 115200 baud (10 bits a byte). Prints the
// ratios (baseline time / download time: 1 means the engine adds nothing) and peak memory.
//
// The paced line takes about a minute and a half per download; skip it with
// --benchmark_filter=-Pty.

#include "BenchSupport.h"
#include "PackageBuilder.h"
#include "comm/COnlineModule.h"
#include "comm/CommSet.h"
#include "comm/Connection.h"
#include "common/Clock.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "download/DownloadSequence.h"
#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/PackageReading.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/PlcSimulator.h"
#include "sim/SimulatorChannel.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace dlu;
namespace fs = std::filesystem;
using test::Bytes;

constexpr CpuType kCpu = 26;
constexpr double kBaud = 115200.0;

long peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The package, written once, and the frame sizes of one download of it.
struct Fixture {
    Fixture() {
        char pattern[] = "/tmp/dlu-download-bench-XXXXXX";
        folder = mkdtemp(pattern);
        package = folder + "/Large.DWN";
        test::PackageBuilder b;
        std::vector<Bytes> programs;
        for (std::size_t i = 0; i < 128; ++i) {
            Bytes p(8192);
            for (std::size_t k = 0; k < p.size(); ++k) {
                p[k] = static_cast<std::uint8_t>(i * 31 + k * 7);
            }
            programs.push_back(std::move(p));
        }
        Bytes parameter(3580);
        for (std::size_t k = 0; k < parameter.size(); ++k) {
            parameter[k] = static_cast<std::uint8_t>(k * 3);
        }
        b.project("Large", kCpu).xpLink(true).linkPrograms(programs).parameterData(parameter);
        b.innerScheme(test::Scheme::Current);
        for (std::uint8_t n = 0; n < 16; ++n) {
            const std::string name = "St" + std::to_string(n);
            b.st(n, name);
            for (const char* ext : {".STB", ".STV", ".STA", ".STS"}) {
                b.extra("ST/" + name + ext, Bytes(2048, static_cast<std::uint8_t>(n)));
            }
        }
        // Each ST file once: the builder's small ones are replaced, not extracted twice.
        auto entries = b.entries();
        std::vector<std::pair<std::string, Bytes>> unique;
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            if (std::none_of(unique.begin(), unique.end(),
                             [&](const auto& e) { return e.first == it->first; })) {
                unique.push_back(*it);
            }
        }
        std::reverse(unique.begin(), unique.end());
        test::writeFile(package, test::PackageBuilder::encrypt(
                                     test::Scheme::Current,
                                     test::PackageBuilder::zip(unique, test::ZipMethod::Deflated)));
        packageBytes = fs::file_size(package);
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }

    std::string folder;
    std::string package;
    std::uintmax_t packageBytes = 0;
    // Request and response sizes of every transaction of the download, and the 'D' requests.
    std::vector<std::pair<std::size_t, std::size_t>> frames;
    struct Block {
        std::uint8_t kind, id;
        std::uint16_t value1, value2;
        Bytes data;
    };
    std::vector<Block> blocks;
    std::uint64_t wireBytes = 0;
    std::uint64_t responseBytes = 0;
    std::uint64_t payload = 0;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// Everything a download needs around a channel factory.
struct Session {
    Session(ChannelFactory& factory, const CommSet& settings)
        : connection(ConnectionDescription::fromCommSet(settings), factory, prompter, messages,
                     clock),
          session(connection.session()), reader(prompter, messages) {}

    DownloadJob job() {
        CFileEncryption encryption(prompter, messages);
        CFileControl dialogReader(prompter, messages);
        DownloadJob j;
        j.packagePath = fixture().package;
        const auto contents = readPackage(j.packagePath, dialogReader, encryption);
        j.projectCpuType = contents ? contents->info.cpuType() : kNoCpuType;
        if (contents) {
            j.stTable = contents->st;
        }
        return j;
    }

    bool connect() {
        session.setProjectCpuType(kCpu);
        return session.connect() && session.beginDownload();
    }

    // The time from the first request to the end of the sequence goes to `sendTime`.
    bool download(const DownloadJob& job) {
        struct Stopwatch final : DownloadObserver {
            void planned(std::span<const DownloadItemPlan>, std::uint64_t) override {
                start = std::chrono::steady_clock::now();
            }
            void finished(bool) override { end = std::chrono::steady_clock::now(); }
            std::chrono::steady_clock::time_point start, end;
        } watch;
        DownloadSequence sequence(connection.context(), session, reader, job);
        sequence.setObserver(&watch);
        const bool ok = sequence.run();
        sendTime += std::chrono::duration<double, std::milli>(watch.end - watch.start).count();
        ++downloads;
        return ok;
    }
    double sendTime = 0; // milliseconds, summed
    int downloads = 0;

    bench::SilentPrompter prompter;
    Messages messages{Language::English};
    SystemClock clock;
    Connection connection;
    COnlineModule& session;
    CFileControl reader;
};

CommSet simulatorSettings(std::uint8_t type, std::uint16_t port = 0) {
    CommSet s;
    s.setDefaults();
    s.nConType = type;
    s.nSIMULATORip = 0x7F000001;
    s.wSIMULATORSocket = port;
    s.nTxDelay = 0;
    return s;
}

// Runs one in-process download and keeps its frames for the baselines.
void recordFrames() {
    Fixture& f = fixture();
    if (!f.frames.empty()) {
        return;
    }
    sim::PlcSimulator plc;
    sim::EmbeddedChannelFactory factory(plc);
    Session s(factory, simulatorSettings(kConSimulator));
    const DownloadJob job = s.job();
    if (!s.connect()) {
        return;
    }
    std::size_t request = 0;
    bool download = false;
    plc.setFrameLog([&](bool sent, std::span<const std::uint8_t> frame) {
        if (!sent) {
            request = frame.size();
            download = frame[2] == 'D';
            if (download) {
                // Station header on: kind at 8, then the layout of each kind.
                const auto d = frame.subspan(8, frame.size() - 10);
                Fixture::Block b{d[0], 0, 0, 0, {}};
                std::size_t at = 2;
                if (d[0] == 'B') {
                    b.id = d[1];
                } else {
                    b.id = d[1];
                    b.value1 = static_cast<std::uint16_t>((d[2] << 8) | d[3]);
                    b.value2 = static_cast<std::uint16_t>((d[4] << 8) | d[5]);
                    at = 6;
                }
                b.data.assign(d.begin() + static_cast<long>(at + 2), d.end());
                f.payload += b.data.size();
                f.blocks.push_back(std::move(b));
            }
            return;
        }
        f.frames.emplace_back(request, frame.size());
        f.wireBytes += request + frame.size();
        f.responseBytes += frame.size();
    });
    s.download(job);
}

class TerminalChannel final : public bench::FdChannel {
public:
    explicit TerminalChannel(std::string path) : path_(std::move(path)) { socket_ = false; }
    bool open(const OpenParams&) override {
        fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ < 0) {
            return false;
        }
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
        return true;
    }

private:
    std::string path_;
};

// Hands out TCP channels, or channels on one terminal for the serial connection type.
class BenchFactory final : public ChannelFactory {
public:
    explicit BenchFactory(std::string terminal = {}) : terminal_(std::move(terminal)) {}
    std::unique_ptr<DeviceChannel> create(std::uint8_t type) override {
        if (type == kConSerial) {
            return std::make_unique<TerminalChannel>(terminal_);
        }
        return std::make_unique<bench::LoopbackChannel>();
    }
    std::uint32_t resolveHostName(std::string_view) override { return 0x7F000001; }

private:
    std::string terminal_;
};

std::map<std::string, double> g_extra;
std::map<std::string, double> g_perRequestUs;
// Mean time of the sending part alone (first request to the end), per benchmark.
std::map<std::string, double> g_sendMs;

void BM_DownloadTcp(benchmark::State& state) {
    recordFrames();
    bench::PlcsimProcess plcsim(
        PLCSIM_PATH, {"--identity", "0x7A31", "--key", "remote", "--mode", "stop", "--port", "0"});
    BenchFactory plain;
    std::chrono::nanoseconds own{0};
    bench::TimedFactory factory(plain, own);
    Session s(factory, simulatorSettings(kConSimulator, static_cast<std::uint16_t>(plcsim.port())));
    const DownloadJob job = s.job();
    if (!s.connect()) {
        state.SkipWithError("plcsim did not answer");
        return;
    }
    own = {};
    factory.last->restart();
    const long before = peakRssKb();
    for (auto _ : state) {
        if (!s.download(job)) {
            state.SkipWithError("download failed");
            return;
        }
    }
    g_sendMs["BM_DownloadTcp"] = s.sendTime / s.downloads;
    g_perRequestUs["program's own time per request over TCP (µs)"] =
        std::chrono::duration<double, std::micro>(own).count() /
        (static_cast<double>(s.downloads) * static_cast<double>(fixture().frames.size()));
    g_extra["engine peak RSS growth over TCP (KB)"] = static_cast<double>(peakRssKb() - before);
    g_extra["peak RSS after TCP (KB)"] = static_cast<double>(peakRssKb());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fixture().payload));
}

// The same request and response sizes through loopback TCP, as the download does them: a
// server process answering the sizes without protocol work, the client writing each request
// and reading the answer through the same buffered channel, as much as has come at a time.
void BM_RawTcpPingPong(benchmark::State& state) {
    recordFrames();
    const auto& frames = fixture().frames;
    bench::RawServerProcess server(frames);
    bench::LoopbackChannel client(server.port());
    if (server.port() == 0 || !client.open(TcpOpenParams{})) {
        state.SkipWithError("no raw server");
        return;
    }
    std::vector<std::uint8_t> out(4096, 0xA5);
    std::vector<std::uint8_t> in(4096);
    for (auto _ : state) {
        for (const auto& [request, response] : frames) {
            client.write(std::span(out).first(request));
            if (!client.readAll(std::span(in).first(response))) {
                state.SkipWithError("ping-pong broke");
                return;
            }
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fixture().payload));
}

void BM_DownloadInProcess(benchmark::State& state) {
    recordFrames();
    double inProcessSend = 0;
    int inProcessRuns = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            sim::PlcSimulator plc;
            sim::EmbeddedChannelFactory factory(plc);
            Session s(factory, simulatorSettings(kConSimulator));
            const DownloadJob job = s.job();
            if (!s.connect()) {
                state.SkipWithError("no connection");
                return;
            }
            state.ResumeTiming();
            if (!s.download(job)) {
                state.SkipWithError("download failed");
                return;
            }
            state.PauseTiming();
            inProcessSend += s.sendTime;
            ++inProcessRuns;
        }
        state.ResumeTiming();
    }
    if (inProcessRuns > 0) {
        g_sendMs["BM_DownloadInProcess"] = inProcessSend / inProcessRuns;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fixture().payload));
}

// The same 'D' requests straight from memory: no package, no files, no decryption.
void BM_FramesOnlyInProcess(benchmark::State& state) {
    recordFrames();
    for (auto _ : state) {
        state.PauseTiming();
        {
            sim::PlcSimulator plc;
            sim::EmbeddedChannelFactory factory(plc);
            Session s(factory, simulatorSettings(kConSimulator));
            if (!s.connect()) {
                state.SkipWithError("no connection");
                return;
            }
            state.ResumeTiming();
            for (const auto& b : fixture().blocks) {
                if (!s.session.downloadBlock(b.kind, b.id, b.value1, b.value2, b.data)) {
                    state.SkipWithError("request failed");
                    return;
                }
            }
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fixture().payload));
}

void BM_DownloadPty(benchmark::State& state) {
    recordFrames();
    bench::PlcsimProcess plcsim(PLCSIM_PATH, {"--identity", "0x7A31", "--key", "remote", "--mode",
                                              "stop", "--pty", "--baud", "115200"});
    BenchFactory factory(plcsim.terminal());
    Session s(factory, simulatorSettings(kConSerial));
    const DownloadJob job = s.job();
    if (!s.connect()) {
        state.SkipWithError("plcsim did not answer on the terminal");
        return;
    }
    for (auto _ : state) {
        if (!s.download(job)) {
            state.SkipWithError("download failed");
            return;
        }
    }
    g_sendMs["BM_DownloadPty"] = s.sendTime / s.downloads;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fixture().payload));
}

BENCHMARK(BM_DownloadTcp)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_RawTcpPingPong)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DownloadInProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FramesOnlyInProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DownloadPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

class RatioReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times; // milliseconds
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const Fixture& f = fixture();
    const auto& t = reporter.times;
    std::printf("package: %.1f KB; download: %zu requests, %llu data bytes, %llu bytes on the "
                "wire\n",
                static_cast<double>(f.packageBytes) / 1024.0, f.frames.size(),
                static_cast<unsigned long long>(f.payload),
                static_cast<unsigned long long>(f.wireBytes));
    const auto ratio = [&](const char* what, const char* baseline, const char* ours) {
        const auto b = t.find(baseline);
        const auto o = t.find(ours);
        if (b != t.end() && o != t.end() && o->second > 0) {
            std::printf("%-48s %.3f", what, b->second / o->second);
            if (const auto send = g_sendMs.find(ours); send != g_sendMs.end() && send->second > 0) {
                std::printf("   sending alone: %.3f (%.1f of %.1f ms)", b->second / send->second,
                            send->second, o->second);
            }
            std::printf("\n");
        }
    };
    ratio("ratio in-process (frames only / download):", "BM_FramesOnlyInProcess",
          "BM_DownloadInProcess");
    ratio("ratio TCP (raw ping-pong / download):", "BM_RawTcpPingPong", "BM_DownloadTcp");
    if (const auto pty = t.find("BM_DownloadPty"); pty != t.end() && pty->second > 0) {
        const double wireMs = static_cast<double>(f.wireBytes) * 10.0 / kBaud * 1000.0;
        std::printf("%-48s %.3f (wire time %.1f s, download %.1f s)\n",
                    "ratio 115200 baud (wire time / download):", wireMs / pty->second,
                    wireMs / 1000.0, pty->second / 1000.0);
    }
    const auto perRequest = [&](const char* what, const char* name) {
        if (const auto it = t.find(name); it != t.end() && !f.frames.empty()) {
            g_perRequestUs[what] = it->second * 1000.0 / static_cast<double>(f.frames.size());
        }
    };
    perRequest("download over TCP per request (µs)", "BM_DownloadTcp");
    perRequest("raw ping-pong per request (µs)", "BM_RawTcpPingPong");
    for (const auto& [what, value] : g_perRequestUs) {
        std::printf("%-48s %.1f\n", (what + ":").c_str(), value);
    }
    for (const auto& [what, value] : g_extra) {
        std::printf("%-48s %.0f\n", (what + ":").c_str(), value);
    }
    std::printf("%-48s %ld\n", "peak RSS of the process (KB):", peakRssKb());
    benchmark::Shutdown();
    return 0;
}
