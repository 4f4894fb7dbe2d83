// A full-range device memory backup of CPU type 26 (all sixteen areas at full capacity, about
// 700 reads of up to 100 words, then the .PDM save), beside a baseline that moves the very
// same request frames without the session, the chunking or the file: straight into the
// simulator in-process, and over loopback TCP to plcsim. The ratio backup rate / baseline
// rate says what the backup logic costs on top of the frames themselves.

#include "BenchSupport.h"
#include "comm/COnlineModule.h"
#include "comm/CProtocol.h"
#include "comm/CommSet.h"
#include "comm/Connection.h"
#include "common/Clock.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "devmem/DeviceMemoryTransfer.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/PlcSimulator.h"
#include "sim/SimulatorChannel.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace {

using namespace dlu;

constexpr CpuType kCpu = 26;

// Where the backups go: a private folder made once (mkdtemp, mode 0700) and removed at exit,
// memory-backed when the system has it, so the disk does not dominate.
struct BackupFolder {
    std::filesystem::path path;
    BackupFolder() {
        const std::filesystem::path shm = "/dev/shm";
        std::error_code ec;
        const auto base =
            std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
        std::string pattern = (base / "devmem_bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        path = pattern;
    }
    ~BackupFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

std::filesystem::path backupFile() {
    static const BackupFolder folder;
    return folder.path / "backup.PDM";
}

class TcpFactory final : public ChannelFactory {
public:
    explicit TcpFactory(int port) : port_(port) {}
    std::unique_ptr<DeviceChannel> create(std::uint8_t) override {
        return std::make_unique<bench::LoopbackChannel>(port_);
    }
    std::uint32_t resolveHostName(std::string_view) override { return 0x7F000001; }

private:
    int port_;
};

bench::PlcsimProcess& plcsim() {
    static bench::PlcsimProcess process(PLCSIM_PATH, {"--port", "0", "--memory-seed", "7"});
    return process;
}

// A connected session over a channel factory, as dlutil wires one.
struct Session {
    explicit Session(ChannelFactory& factory)
        : connection(simulatorSpec(), factory, prompter, messages, clock),
          session(connection.session()) {
        session.setProjectCpuType(kCpu);
    }

    static ConnectionDescription simulatorSpec() {
        CommSet settings;
        settings.setDefaults();
        settings.nConType = kConSimulator;
        return ConnectionDescription::fromCommSet(settings);
    }

    bool backup(const std::filesystem::path& file) {
        DeviceMemoryTransfer t({session, prompter, messages, clock}, DeviceMemoryMode::Backup,
                               kCpu);
        t.setFile(file);
        t.selection().setMaximum();
        return t.transfer() == DeviceMemoryTransfer::Result::Done;
    }

    bench::SilentPrompter prompter;
    Messages messages{Language::English};
    SystemClock clock;
    Connection connection;
    COnlineModule& session;
};

// The request frames of one full backup and the size of each answer, recorded once.
struct Frames {
    std::vector<std::vector<std::uint8_t>> requests;
    std::vector<std::size_t> responseSizes;
};

const Frames& backupFrames() {
    static const Frames frames = [] {
        Frames f;
        sim::PlcSimulator plc;
        sim::EmbeddedChannelFactory factory(plc);
        Session s(factory);
        s.session.connect();
        plc.setFrameLog([&](bool sent, std::span<const std::uint8_t> frame) {
            if (sent) {
                f.responseSizes.push_back(frame.size());
            } else {
                f.requests.emplace_back(frame.begin(), frame.end());
            }
        });
        const auto file = backupFile();
        s.backup(file);
        std::filesystem::remove(file);
        return f;
    }();
    return frames;
}

void BM_BackupInProcess(benchmark::State& state) {
    sim::PlcSimulator plc;
    plc.fillDeviceMemory(7);
    sim::EmbeddedChannelFactory factory(plc);
    Session s(factory);
    if (!s.session.connect()) {
        state.SkipWithError("no connection");
        return;
    }
    const auto file = backupFile();
    for (auto _ : state) {
        if (!s.backup(file)) {
            state.SkipWithError("backup failed");
            break;
        }
    }
    std::filesystem::remove(file);
    state.SetItemsProcessed(state.iterations());
    state.counters["frames"] = static_cast<double>(backupFrames().requests.size());
}

void BM_FramesInProcess(benchmark::State& state) {
    sim::PlcSimulator plc;
    plc.fillDeviceMemory(7);
    const auto& frames = backupFrames();
    // The protocol test turns the station header on, as in the recorded session.
    sim::SimulatorChannel channel(plc);
    CProtocol protocol(channel);
    if (protocol.protocolTest() != CProtocol::TestResult::Answered) {
        state.SkipWithError("no answer to the protocol test");
        return;
    }
    std::vector<std::uint8_t> out;
    out.reserve(512);
    for (auto _ : state) {
        for (const auto& request : frames.requests) {
            out.clear();
            plc.receive(request, out);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// The same reads through the protocol object alone: what the session, the chunking, the
// image and the file add on top of the protocol layer.
void BM_ProtocolReadsInProcess(benchmark::State& state) {
    sim::PlcSimulator plc;
    plc.fillDeviceMemory(7);
    sim::SimulatorChannel channel(plc);
    CProtocol protocol(channel);
    if (protocol.protocolTest() != CProtocol::TestResult::Answered) {
        state.SkipWithError("no answer to the protocol test");
        return;
    }
    // Head (2), command, length (2), station header (3), blocks of address (4) and bytes (1).
    std::vector<std::vector<CProtocol::ReadBlock>> reads;
    for (const auto& f : backupFrames().requests) {
        if (f.size() < 10 || f[2] != 'R') {
            continue;
        }
        std::vector<CProtocol::ReadBlock> blocks;
        for (std::size_t at = 8; at + 5 <= f.size() - 2; at += 5) {
            const std::uint32_t address = (std::uint32_t{f[at]} << 24) |
                                          (std::uint32_t{f[at + 1]} << 16) |
                                          (std::uint32_t{f[at + 2]} << 8) | f[at + 3];
            blocks.push_back({address, static_cast<std::uint8_t>(f[at + 4] / 2)});
        }
        reads.push_back(std::move(blocks));
    }
    std::array<std::uint16_t, 128> words{};
    for (auto _ : state) {
        for (const auto& blocks : reads) {
            if (!protocol.readWords(blocks, words)) {
                state.SkipWithError("read failed");
                return;
            }
            benchmark::DoNotOptimize(words);
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_BackupTcp(benchmark::State& state) {
    TcpFactory factory(plcsim().port());
    Session s(factory);
    if (plcsim().port() == 0 || !s.session.connect()) {
        state.SkipWithError("plcsim did not start");
        return;
    }
    const auto file = backupFile();
    for (auto _ : state) {
        if (!s.backup(file)) {
            state.SkipWithError("backup failed");
            break;
        }
    }
    std::filesystem::remove(file);
    state.SetItemsProcessed(state.iterations());
}

// The same frames over one socket to plcsim: write a request, read its answer, next.
void BM_FramesTcp(benchmark::State& state) {
    const auto& frames = backupFrames();
    bench::LoopbackChannel channel(plcsim().port());
    if (plcsim().port() == 0 || !channel.open(TcpOpenParams{})) {
        state.SkipWithError("plcsim did not start");
        return;
    }
    // Open the protocol on this connection as a session would, so the answers carry the
    // station header like the recorded ones.
    CProtocol protocol(channel);
    if (protocol.protocolTest() != CProtocol::TestResult::Answered) {
        state.SkipWithError("no answer to the protocol test");
        return;
    }
    std::vector<std::uint8_t> answer(4096);
    for (auto _ : state) {
        for (std::size_t i = 0; i < frames.requests.size(); ++i) {
            channel.write(frames.requests[i]);
            if (!channel.readAll(std::span(answer).first(frames.responseSizes[i]))) {
                state.SkipWithError("answer missing");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// The baseline of the TCP backup: the same request and answer sizes, a server process that
// answers them without protocol work, the client writing and reading through the same
// buffered channel.
void BM_RawTcpPingPong(benchmark::State& state) {
    const auto& frames = backupFrames();
    bench::RawServerProcess::Frames sizes;
    for (std::size_t i = 0; i < frames.requests.size() && i < frames.responseSizes.size(); ++i) {
        sizes.emplace_back(frames.requests[i].size(), frames.responseSizes[i]);
    }
    bench::RawServerProcess server(sizes);
    bench::LoopbackChannel channel(server.port());
    if (server.port() == 0 || !channel.open(TcpOpenParams{})) {
        state.SkipWithError("no raw server");
        return;
    }
    std::vector<std::uint8_t> answer(4096);
    for (auto _ : state) {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            channel.write(frames.requests[i]);
            if (!channel.readAll(std::span(answer).first(sizes[i].second))) {
                state.SkipWithError("answer missing");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_BackupInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FramesInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProtocolReadsInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BackupTcp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FramesTcp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawTcpPingPong)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps the rate of every run so that the ratios can be printed at the end.
class RateReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            const auto it = run.counters.find("items_per_second");
            if (it != run.counters.end()) {
                rates[run.benchmark_name()] = it->second.value;
            }
        }
    }
    std::map<std::string, double> rates;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("full backup of CPU type 26: %zu request frames\n", backupFrames().requests.size());
    for (const char* where : {"InProcess", "Tcp"}) {
        const double backup = reporter.rates[std::string("BM_Backup") + where + "/real_time"];
        const double frames = reporter.rates[std::string("BM_Frames") + where + "/real_time"];
        if (backup > 0 && frames > 0) {
            std::printf("%s: backup / same frames raw = %.2f\n", where, backup / frames);
        }
    }
    const double tcpBackup = reporter.rates["BM_BackupTcp/real_time"];
    const double raw = reporter.rates["BM_RawTcpPingPong/real_time"];
    if (tcpBackup > 0 && raw > 0) {
        std::printf("Tcp: backup / raw ping-pong of the same sizes = %.2f\n", tcpBackup / raw);
    }
    const double backup = reporter.rates["BM_BackupInProcess/real_time"];
    const double reads = reporter.rates["BM_ProtocolReadsInProcess/real_time"];
    if (backup > 0 && reads > 0) {
        std::printf("InProcess: backup / same reads through the protocol alone = %.2f\n",
                    backup / reads);
    }
    benchmark::Shutdown();
    return 0;
}
