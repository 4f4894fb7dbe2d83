#include "sim/PlcServer.h"

#include "sim/PlcSimulator.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <ostream>
#include <poll.h>
#include <span>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace dlu::sim {

namespace {

constexpr int kPollMs = 200;

void makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
}

} // namespace

PlcServer::PlcServer(PlcSimulator& simulator, ServerOptions options)
    : simulator_(simulator), options_(std::move(options)), line_(simulator.line()) {
    if (options_.modem) {
        modem_ = std::make_unique<HayesModem>(*options_.modem);
    }
    if (line_.active()) {
        LineEmulation::wakeOnTime();
    }
}

PlcServer::~PlcServer() {
    closeClient();
    for (int fd : {listenFd_, ptySlave_, ptyMaster_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool PlcServer::open(std::ostream& out, std::ostream& err) {
    if (options_.pty) {
        ptyMaster_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (ptyMaster_ < 0 || grantpt(ptyMaster_) != 0 || unlockpt(ptyMaster_) != 0) {
            err << "plcsim: cannot open a pseudo-terminal: " << std::strerror(errno) << '\n';
            return false;
        }
        const char* name = ptsname(ptyMaster_);
        if (name == nullptr) {
            err << "plcsim: no pseudo-terminal name\n";
            return false;
        }
        // Holding the other end open ourselves keeps the line up while no program has it open.
        ptySlave_ = ::open(name, O_RDWR | O_NOCTTY);
        makeRaw(ptyMaster_);
        if (ptySlave_ >= 0) {
            makeRaw(ptySlave_);
        }
        out << "plcsim: serial line on " << name << std::endl;
        return true;
    }

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    if (inet_pton(AF_INET, options_.bind.c_str(), &addr.sin_addr) != 1) {
        err << "plcsim: not an IPv4 address: " << options_.bind << '\n';
        return false;
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (listenFd_ < 0 || setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 4) != 0) {
        err << "plcsim: cannot listen on " << options_.bind << ':' << options_.port << ": "
            << std::strerror(errno) << '\n';
        return false;
    }
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    out << "plcsim: listening on " << options_.bind << ':' << ntohs(addr.sin_port) << std::endl;
    return true;
}

void PlcServer::closeClient() {
    if (clientFd_ >= 0) {
        ::close(clientFd_);
        clientFd_ = -1;
    }
}

bool PlcServer::writeSome(int fd, const std::uint8_t* data, std::size_t size, bool socket) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = socket ? ::send(fd, data + done, size - done, MSG_NOSIGNAL)
                                 : ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool PlcServer::sendAll(int fd, std::span<const std::uint8_t> bytes,
                        std::chrono::steady_clock::time_point requestIn, bool socket) {
    if (!line_.active()) {
        return writeSome(fd, bytes.data(), bytes.size(), socket);
    }
    // Each byte goes out when it would have come through the cable. Whatever is due at a
    // wake-up goes in one write, and the next wake-up is the next byte's own time, so a late
    // wake-up costs that byte alone.
    // Through an adapter model the bytes go out batch by batch, when it hands them over.
    const auto start = line_.answer(requestIn, bytes.size());
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::this_thread::sleep_until(line_.delivery(start, done, bytes.size()));
        const auto due = line_.deliveredBy(start, bytes.size(), std::chrono::steady_clock::now());
        const std::size_t upTo = std::max(done + 1, static_cast<std::size_t>(due));
        if (!writeSome(fd, bytes.data() + done, upTo - done, socket)) {
            return false;
        }
        done = upTo;
    }
    return true;
}

// Request bytes only reach the PLC at the line's pace: the answer is worked out once they
// would all have come through.
std::chrono::steady_clock::time_point PlcServer::requestArrived(std::size_t bytes) {
    const auto now = std::chrono::steady_clock::now();
    if (!line_.active()) {
        return now;
    }
    const auto in = line_.request(now, bytes);
    std::this_thread::sleep_until(in);
    return in;
}

void PlcServer::serveBytes(int fd, bool socket) {
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        if (socket) {
            closeClient();
        }
        return;
    }
    const auto bytes = std::span(buffer, static_cast<std::size_t>(n));
    if (modem_ && !socket) {
        serveModem(bytes);
        return;
    }
    const auto in = requestArrived(bytes.size());
    answer_.clear();
    simulator_.receive(bytes, answer_);
    if (!answer_.empty() && !sendAll(fd, answer_, in, socket) && socket) {
        closeClient();
        return;
    }
    if (socket && simulator_.connectionClosed()) {
        if (options_.verbose) {
            std::fprintf(stderr, "plcsim: closing the connection (fault switch)\n");
        }
        closeClient();
    }
}

void PlcServer::serveModem(std::span<const std::uint8_t> bytes) {
    HayesModem::Output out;
    const auto in = requestArrived(bytes.size());
    const auto now = std::chrono::steady_clock::now();
    if (bytes.empty()) {
        modem_->tick(now, out);
    } else {
        modem_->fromLine(bytes, now, out);
    }
    if (modem_->takeNewCall()) {
        simulator_.connectionOpened();
        if (options_.verbose) {
            std::fprintf(stderr, "plcsim: modem connected\n");
        }
    }
    if (!out.toPlc.empty()) {
        std::vector<std::uint8_t> answer;
        simulator_.receive(out.toPlc, answer);
        // The PLC's answer only reaches the line while the call carries data.
        if (modem_->online()) {
            out.toLine.insert(out.toLine.end(), answer.begin(), answer.end());
        }
    }
    if (!out.toLine.empty()) {
        sendAll(ptyMaster_, out.toLine, in, false);
    }
}

int PlcServer::pollTimeoutMs() const {
    if (!modem_) {
        return kPollMs;
    }
    const auto deadline = modem_->deadline();
    if (!deadline) {
        return kPollMs;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        *deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<std::int64_t>(left.count() + 1, 0, kPollMs));
}

void PlcServer::run(const volatile std::sig_atomic_t& stop) {
    while (stop == 0) {
        pollfd fds[1]{};
        if (options_.pty) {
            fds[0] = {ptyMaster_, POLLIN, 0};
        } else if (clientFd_ >= 0) {
            fds[0] = {clientFd_, POLLIN, 0};
        } else {
            fds[0] = {listenFd_, POLLIN, 0};
        }
        const int ready = ::poll(fds, 1, pollTimeoutMs());
        if (modem_) {
            serveModem({}); // the modem's timers: a call coming through, an escape
        }
        if (ready <= 0) {
            continue; // time-out, or a signal: look at `stop` again
        }
        if (options_.pty) {
            if ((fds[0].revents & POLLIN) != 0) {
                serveBytes(ptyMaster_, false);
            } else {
                ::usleep(kPollMs * 1000); // nobody on the line
            }
        } else if (clientFd_ >= 0) {
            serveBytes(clientFd_, true);
        } else {
            clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (clientFd_ >= 0) {
                const int on = 1;
                setsockopt(clientFd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                simulator_.connectionOpened();
                line_.reset();
                if (options_.verbose) {
                    std::fprintf(stderr, "plcsim: connection accepted\n");
                }
            }
        }
    }
}

} // namespace dlu::sim
