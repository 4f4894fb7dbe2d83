// Protocol transactions per second: in-process against the simulator, and over loopback TCP
// against plcsim, beside a raw socket ping-pong that moves frames of the same sizes. The
// ratio TCP protocol / raw ping-pong says what the protocol layer and the simulator cost on
// top of the socket round trip itself.
//
// The good line of an older PLC (no station header) with the clock the programs give the
// protocol: every request goes through the out-of-step guard (the check before it is sent,
// the time it went out). Beside it, measured in the same run against a server process of
// its own: the raw ping-pong of the same frame sizes, and the same reads with the header
// (where the guard never applies). The guard costs a good line what the first two differ by
// beyond what the header's frames differ by.

#include "BenchSupport.h"
#include "comm/CProtocol.h"
#include "common/Clock.h"
#include "sim/PlcSimulator.h"
#include "sim/SimulatorChannel.h"

#include <benchmark/benchmark.h>

#ifdef DLU_BENCH_QT
#include "comm/channels/QtTcpChannel.h"

#include <QCoreApplication>
#endif

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace dlu;

// Frame sizes of one 'R' transaction of `words` words, with the station header or without.
std::size_t requestSize(bool header = true) { return 5 + (header ? 3 : 0) + 5 + 2; }
std::size_t responseSize(std::size_t words, bool header = true) {
    return 5 + (header ? 3 : 0) + 2 * words + 2;
}

bench::PlcsimProcess& plcsim() {
    static bench::PlcsimProcess process(PLCSIM_PATH, {"--port", "0"});
    return process;
}

// A PLC that answers the protocol test with 'E': no station header.
bench::PlcsimProcess& olderPlcsim() {
    static bench::PlcsimProcess process(PLCSIM_PATH, {"--port", "0", "--older-plc"});
    return process;
}

void readTransactions(benchmark::State& state, CProtocol& protocol) {
    const auto words = static_cast<std::uint8_t>(state.range(0));
    const std::array<CProtocol::ReadBlock, 1> blocks{{{0x000A0000, words}}};
    std::array<std::uint16_t, 128> out{};
    if (protocol.protocolTest() != CProtocol::TestResult::Answered) {
        state.SkipWithError("no answer to the protocol test");
        return;
    }
    for (auto _ : state) {
        if (!protocol.readWords(blocks, out)) {
            state.SkipWithError("read failed");
            return;
        }
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ProtocolInProcess(benchmark::State& state) {
    sim::PlcSimulator plc;
    sim::SimulatorChannel channel(plc);
    CProtocol protocol(channel);
    readTransactions(state, protocol);
}

void BM_ProtocolTcp(benchmark::State& state) {
    bench::LoopbackChannel channel(plcsim().port());
    if (!channel.open(TcpOpenParams{})) {
        state.SkipWithError("plcsim did not start");
        return;
    }
    CProtocol protocol(channel);
    readTransactions(state, protocol);
}

#ifdef DLU_BENCH_QT
// The same with the program's own TCP channel (blocking Qt socket).
void BM_ProtocolQtTcp(benchmark::State& state) {
    QtTcpChannel channel;
    channel.setTimeout(std::chrono::milliseconds{3000});
    if (!channel.open(TcpOpenParams{static_cast<std::uint16_t>(plcsim().port()), 0x7F000001})) {
        state.SkipWithError("plcsim did not start");
        return;
    }
    CProtocol protocol(channel);
    readTransactions(state, protocol);
}
BENCHMARK(BM_ProtocolQtTcp)->Arg(1)->Arg(100)->UseRealTime();
#endif

// The baseline: the same request and response sizes through loopback TCP, from a server
// process that answers without protocol work (as plcsim is a process), read through the same
// buffered channel as the protocol's.
void rawPingPong(benchmark::State& state, bool header) {
    const std::size_t req = requestSize(header);
    const std::size_t resp = responseSize(static_cast<std::size_t>(state.range(0)), header);
    bench::RawServerProcess server({{req, resp}});
    bench::LoopbackChannel client(server.port());
    if (server.port() == 0 || !client.open(TcpOpenParams{})) {
        state.SkipWithError("no raw server");
        return;
    }
    const std::vector<std::uint8_t> request(req, 0xA5);
    std::vector<std::uint8_t> answer(resp);
    for (auto _ : state) {
        client.write(request);
        if (!client.readAll(answer)) {
            state.SkipWithError("ping-pong broke");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_RawSocketPingPong(benchmark::State& state) { rawPingPong(state, true); }

// Reads on a good line with the clock set, as a connection sets it: the guard's bookkeeping
// runs on every request, and the deadline of each answer.
void guardedReads(benchmark::State& state, bench::PlcsimProcess& server, bool header) {
    bench::LoopbackChannel channel(server.port());
    if (!channel.open(TcpOpenParams{})) {
        state.SkipWithError("plcsim did not start");
        return;
    }
    SystemClock clock;
    CProtocol protocol(channel);
    protocol.setClock(&clock);
    protocol.setAttemptCount(3);
    readTransactions(state, protocol);
    if (protocol.stationHeaderFlag() != header || protocol.outOfStep()) {
        state.SkipWithError("not the line this benchmark is about");
    }
}
void BM_GoodLineNoHeaderGuarded(benchmark::State& state) {
    guardedReads(state, olderPlcsim(), false);
}
void BM_GoodLineHeader(benchmark::State& state) { guardedReads(state, plcsim(), true); }

// The baseline of the line without the header: its frame sizes moved raw.
void BM_RawNoHeaderPingPong(benchmark::State& state) { rawPingPong(state, false); }

BENCHMARK(BM_GoodLineNoHeaderGuarded)->Arg(1)->Arg(100)->UseRealTime();
BENCHMARK(BM_GoodLineHeader)->Arg(1)->Arg(100)->UseRealTime();
BENCHMARK(BM_RawNoHeaderPingPong)->Arg(1)->Arg(100)->UseRealTime();
BENCHMARK(BM_ProtocolInProcess)->Arg(1)->Arg(100)->UseRealTime();
BENCHMARK(BM_ProtocolTcp)->Arg(1)->Arg(100)->UseRealTime();
BENCHMARK(BM_RawSocketPingPong)->Arg(1)->Arg(100)->UseRealTime();

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
#ifdef DLU_BENCH_QT
    QCoreApplication app(argc, argv); // the Qt socket wants one
#endif
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* words : {"1", "100"}) {
        const std::string suffix = std::string("/") + words + "/real_time";
        const double tcp = reporter.rates["BM_ProtocolTcp" + suffix];
        const double qt = reporter.rates["BM_ProtocolQtTcp" + suffix];
        const double raw = reporter.rates["BM_RawSocketPingPong" + suffix];
        const double local = reporter.rates["BM_ProtocolInProcess" + suffix];
        if (raw > 0 && tcp > 0) {
            std::printf("read of %s word(s): TCP protocol / raw ping-pong = %.2f, "
                        "in-process / TCP protocol = %.1f\n",
                        words, tcp / raw, local / tcp);
        }
        if (raw > 0 && qt > 0) {
            std::printf("read of %s word(s): Qt TCP channel / raw ping-pong = %.2f "
                        "(%.1f against %.1f µs a request)\n",
                        words, qt / raw, 1e6 / qt, 1e6 / raw);
        }
    }
    for (const char* words : {"1", "100"}) {
        const std::string suffix = std::string("/") + words + "/real_time";
        const double guarded = reporter.rates["BM_GoodLineNoHeaderGuarded" + suffix];
        const double header = reporter.rates["BM_GoodLineHeader" + suffix];
        const double raw = reporter.rates["BM_RawNoHeaderPingPong" + suffix];
        if (guarded > 0 && raw > 0 && header > 0) {
            std::printf("good line, read of %s word(s): without the header (guard in place) "
                        "%.1f µs a request, raw ping-pong of its frames %.1f µs (time ratio %.2f); "
                        "with the header %.1f µs (no header / header = %.2f)\n",
                        words, 1e6 / guarded, 1e6 / raw, raw / guarded, 1e6 / header,
                        header / guarded);
        }
    }
    benchmark::Shutdown();
    return 0;
}
