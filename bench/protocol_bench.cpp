// Protocol transactions per second: in-process against the simulator, and over loopback TCP
// against plcsim, beside a raw socket ping-pong that moves frames of the same sizes. The
// ratio TCP protocol / raw ping-pong says what the protocol layer and the simulator cost on
// top of the socket round trip itself.

#include "comm/CProtocol.h"
#include "sim/PlcSimulator.h"
#include "sim/SimulatorChannel.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

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

// plcsim on a free loopback port for the whole run.
class PlcsimProcess {
public:
    PlcsimProcess() {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::string path = PLCSIM_PATH, portOption = "--port", zero = "0";
        char* argv[] = {path.data(), portOption.data(), zero.data(), nullptr};
        posix_spawn(&pid_, PLCSIM_PATH, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        std::string line;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        ::close(fds[0]);
        const auto colon = line.rfind(':');
        if (colon != std::string::npos) {
            port_ = std::atoi(line.c_str() + colon + 1);
        }
    }
    ~PlcsimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

PlcsimProcess& plcsim() {
    static PlcsimProcess process;
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

// The baseline: the same request and response sizes through loopback TCP, with a server
// thread that only counts bytes.
void BM_RawSocketPingPong(benchmark::State& state) {
    const std::size_t req = requestSize();
    const std::size_t resp = responseSize(static_cast<std::size_t>(state.range(0)));
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listener, 1);
    socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);

    std::thread server([listener, req, resp] {
        const int fd = accept(listener, nullptr, nullptr);
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::vector<std::uint8_t> in(4096), out(resp, 0x5A);
        std::size_t pending = 0;
        for (;;) {
            const ssize_t n = recv(fd, in.data(), in.size(), 0);
            if (n <= 0) {
                break;
            }
            pending += static_cast<std::size_t>(n);
            while (pending >= req) {
                pending -= req;
                send(fd, out.data(), out.size(), MSG_NOSIGNAL);
            }
        }
        ::close(fd);
    });

    TcpChannel client(ntohs(addr.sin_port));
    const std::vector<std::uint8_t> request(req, 0xA5);
    for (auto _ : state) {
        client.write(request);
        for (std::size_t i = 0; i < resp; ++i) {
            benchmark::DoNotOptimize(client.read());
        }
    }
    state.SetItemsProcessed(state.iterations());
    client.close();
    server.join();
    ::close(listener);
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
