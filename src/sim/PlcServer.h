#pragma once

#include "sim/HayesModem.h"
#include "sim/LineEmulation.h"

#include <chrono>
#include <vector>

#include <csignal>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace dlu::sim {

class PlcSimulator;

struct ServerOptions {
    std::string bind = "127.0.0.1";
    std::uint16_t port = 10523; // 0: any free port, printed at start
    bool pty = false;           // a serial line on a pseudo-terminal instead of TCP
    bool verbose = false;       // frames to stderr
    // A Hayes modem in front of the PLC on the pseudo-terminal: the line carries AT commands
    // until a call connects.
    std::optional<HayesModem::Settings> modem;
};

// Puts a simulator behind a TCP port (one connection at a time) or a pseudo-terminal, with
// plain POSIX sockets and poll(). With a baud rate or a turnaround set, the connection is an
// emulated serial line: request bytes reach the simulator at the line's pace and each answer
// byte leaves at its own time on the line.
class PlcServer {
public:
    PlcServer(PlcSimulator& simulator, ServerOptions options);
    ~PlcServer();
    PlcServer(const PlcServer&) = delete;
    PlcServer& operator=(const PlcServer&) = delete;

    // Opens the port or the terminal and prints where it listens on `out`. False with a
    // message on `err` when that fails.
    bool open(std::ostream& out, std::ostream& err);
    // Serves until `stop` becomes non-zero (set from a signal handler).
    void run(const volatile std::sig_atomic_t& stop);

private:
    void serveBytes(int fd, bool socket);
    void serveModem(std::span<const std::uint8_t> bytes);
    int pollTimeoutMs() const;
    // Sends an answer to a request complete at `requestIn`, at the line's pace when it has one.
    bool sendAll(int fd, std::span<const std::uint8_t> bytes,
                 std::chrono::steady_clock::time_point requestIn, bool socket);
    bool writeSome(int fd, const std::uint8_t* data, std::size_t size, bool socket);
    std::chrono::steady_clock::time_point requestArrived(std::size_t bytes);
    void closeClient();

    PlcSimulator& simulator_;
    ServerOptions options_;
    int listenFd_ = -1;
    int clientFd_ = -1;
    int ptyMaster_ = -1;
    int ptySlave_ = -1;
    std::unique_ptr<HayesModem> modem_;
    LineEmulation line_;
    std::vector<std::uint8_t> answer_; // kept: one allocation for the life of the server
};

} // namespace dlu::sim
