#pragma once

// What the benchmarks share: plcsim as a child process for the whole run, and a prompter that
// answers every message without showing it.

#include "common/Prompter.h"
#include "support/ChildProcess.h"

#include <algorithm>

#include <arpa/inet.h>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dlu::bench {

// plcsim started with `args`; its first line says where it serves
// ("plcsim: listening on 127.0.0.1:PORT" or "plcsim: serial line on /dev/pts/N").
class PlcsimProcess {
public:
    PlcsimProcess(const std::string& path, std::vector<std::string> args)
        : child_(path, std::move(args)), line_(child_.line()) {}

    int port() const { return test::listeningPort(line_); }
    std::string terminal() const {
        const auto at = line_.rfind(' ');
        return at == std::string::npos ? std::string() : line_.substr(at + 1);
    }

private:
    test::ChildProcess child_;
    std::string line_;
};

// The baseline server of a TCP benchmark: a child process, as plcsim is one, that answers the
// given frame sizes in turn (reads a request's bytes, writes that many answer bytes) with no
// protocol work at all, over and over, one connection at a time.
class RawServerProcess {
public:
    using Frames = std::vector<std::pair<std::size_t, std::size_t>>; // request, answer sizes

    explicit RawServerProcess(const Frames& frames) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return;
        }
        std::size_t largest = 1;
        for (const auto& [request, answer] : frames) {
            largest = std::max({largest, request, answer});
        }
        std::vector<std::uint8_t> buffer(largest, 0x5A);
        pid_ = ::fork();
        if (pid_ == 0) {
            serve(frames, buffer);
            ::_exit(0);
        }
        port_ = ntohs(addr.sin_port);
    }
    ~RawServerProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (listener_ >= 0) {
            ::close(listener_);
        }
    }
    RawServerProcess(const RawServerProcess&) = delete;
    RawServerProcess& operator=(const RawServerProcess&) = delete;

    int port() const { return pid_ > 0 ? port_ : 0; }

private:
    void serve(const Frames& frames, std::vector<std::uint8_t>& buffer) {
        for (;;) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) {
                return;
            }
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            bool open = true;
            while (open) {
                for (const auto& [request, answer] : frames) {
                    std::size_t got = 0;
                    while (open && got < request) {
                        const ssize_t n = ::recv(fd, buffer.data(), request - got, 0);
                        open = n > 0;
                        got += open ? static_cast<std::size_t>(n) : 0;
                    }
                    if (!open || ::send(fd, buffer.data(), answer, MSG_NOSIGNAL) < 0) {
                        open = false;
                        break;
                    }
                }
            }
            ::close(fd);
        }
    }

    int listener_ = -1;
    pid_t pid_ = -1;
    int port_ = 0;
};

class SilentPrompter final : public Prompter {
public:
    PromptAnswer message(std::string_view, PromptButtons, PromptIcon) override {
        return PromptAnswer::Ok;
    }
};

} // namespace dlu::bench
