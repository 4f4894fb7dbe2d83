// Protocol transactions per second: in-process against the simulator, and over loopback TCP
// against plcsim, beside a raw socket ping-pong that moves frames of the same sizes. The
// ratio TCP protocol / raw ping-pong says what the protocol layer and the simulator cost on
// top of the socket round trip itself.

#include "BenchSupport.h"
#include "comm/CProtocol.h"
#include "sim/PlcSimulator.h"
#include "sim/SimulatorChannel.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <cstdio>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace dlu;

// Frame sizes of one 'R' transaction of `words` words with the station header.
std::size_t requestSize() { return 5 + 3 + 5 + 2; }
std::size_t responseSize(std::size_t words) { return 5 + 3 + 2 * words + 2; }

// A blocking TCP channel, buffered so that a byte read is not a system call.
class TcpChannel final : public Channel {
public:
    explicit TcpChannel(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        const int on = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    ~TcpChannel() override { close(); }
    bool ok() const { return fd_ >= 0; }

    void setTimeout(std::chrono::milliseconds t) override { timeout_ = t; }
    bool write(std::span<const std::uint8_t> bytes) override {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    ChannelRead read() override {
        if (next_ == size_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(timeout_.count())) <= 0) {
                return {0, kChannelTimeout};
            }
            const ssize_t n = ::recv(fd_, buffer_, sizeof buffer_, 0);
            if (n <= 0) {
                return {0, kChannelLinkLost};
            }
            size_ = static_cast<std::size_t>(n);
            next_ = 0;
        }
        return {buffer_[next_++], kChannelOk};
    }
    void close() override {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
    std::chrono::milliseconds timeout_{3000};
    std::uint8_t buffer_[4096];
    std::size_t next_ = 0;
    std::size_t size_ = 0;
};

bench::PlcsimProcess& plcsim() {
    static bench::PlcsimProcess process(PLCSIM_PATH, {"--port", "0"});
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
    TcpChannel channel(plcsim().port());
    if (!channel.ok()) {
        state.SkipWithError("plcsim did not start");
        return;
    }
    CProtocol protocol(channel);
    readTransactions(state, protocol);
}

// The baseline: the same request and response sizes through loopback TCP, from a server
// process that answers without protocol work (as plcsim is a process), read byte by byte
// through the same buffered channel as the protocol's.
void BM_RawSocketPingPong(benchmark::State& state) {
    const std::size_t req = requestSize();
    const std::size_t resp = responseSize(static_cast<std::size_t>(state.range(0)));
    bench::RawServerProcess server({{req, resp}});
    TcpChannel client(server.port());
    if (server.port() == 0 || !client.ok()) {
        state.SkipWithError("no raw server");
        return;
    }
    const std::vector<std::uint8_t> request(req, 0xA5);
    for (auto _ : state) {
        client.write(request);
        for (std::size_t i = 0; i < resp; ++i) {
            benchmark::DoNotOptimize(client.read());
        }
    }
    state.SetItemsProcessed(state.iterations());
}

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
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* words : {"1", "100"}) {
        const std::string suffix = std::string("/") + words + "/real_time";
        const double tcp = reporter.rates["BM_ProtocolTcp" + suffix];
        const double raw = reporter.rates["BM_RawSocketPingPong" + suffix];
        const double local = reporter.rates["BM_ProtocolInProcess" + suffix];
        if (raw > 0 && tcp > 0) {
            std::printf("read of %s word(s): TCP protocol / raw ping-pong = %.2f, "
                        "in-process / TCP protocol = %.1f\n",
                        words, tcp / raw, local / tcp);
        }
    }
    benchmark::Shutdown();
    return 0;
}
