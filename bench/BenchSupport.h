#pragma once

// What the benchmarks share: plcsim as a child process for the whole run, and a prompter that
// answers every message without showing it.

#include "comm/ChannelFactory.h"
#include "common/Prompter.h"
#include "support/ChildProcess.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>

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

// A blocking byte channel over a file descriptor (socket or terminal) that takes whatever has
// arrived in one system call and hands it out from its buffer, as the product's channels do.
class FdChannel : public DeviceChannel {
public:
    ~FdChannel() override { close(); }
    void setTimeout(std::chrono::milliseconds t) override { timeout_ = t; }
    std::chrono::milliseconds timeout() const override { return timeout_; }
    bool write(std::span<const std::uint8_t> bytes) override {
        std::size_t done = 0;
        while (fd_ >= 0 && done < bytes.size()) {
            const ssize_t n =
                socket_ ? ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                        : ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return done == bytes.size();
    }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        ChannelRead in;
        readSome(std::span(&in.byte, 1), limit, in.status);
        return in;
    }
    ChannelRead read() override { return readWithin(timeout_); }
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override {
        status = kChannelOk;
        if (fd_ < 0) {
            status = kChannelNotOpen;
            return 0;
        }
        if (next_ == size_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(std::min(limit, timeout_).count())) <= 0) {
                status = kChannelTimeout;
                return 0;
            }
            const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
            if (n <= 0) {
                status = kChannelLinkLost;
                return 0;
            }
            size_ = static_cast<std::size_t>(n);
            next_ = 0;
        }
        const std::size_t count = std::min(out.size(), size_ - next_);
        std::memcpy(out.data(), buffer_ + next_, count);
        next_ += count;
        return count;
    }
    void close() override {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    bool ok() const { return fd_ >= 0; }

    // Reads exactly out.size() bytes; false when the line broke or went quiet.
    bool readAll(std::span<std::uint8_t> out) {
        std::uint8_t status = kChannelOk;
        for (std::size_t got = 0; got < out.size();) {
            const std::size_t n = readSome(out.subspan(got), timeout_, status);
            if (n == 0) {
                return false;
            }
            got += n;
        }
        return true;
    }

protected:
    int fd_ = -1;
    bool socket_ = true; // else a terminal

private:
    std::chrono::milliseconds timeout_{3000};
    std::uint8_t buffer_[4096];
    std::size_t next_ = 0;
    std::size_t size_ = 0;
};

// To a loopback TCP port, with Nagle's delay off as the product's TCP channel has it.
class LoopbackChannel final : public FdChannel {
public:
    // With a port, open() goes there whatever it is given.
    explicit LoopbackChannel(int port = 0) : port_(port) {}
    bool open(const OpenParams& params) override {
        close();
        const auto* tcp = std::get_if<TcpOpenParams>(&params);
        const int port = port_ != 0 || tcp == nullptr ? port_ : tcp->port;
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close();
            return false;
        }
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return true;
    }

private:
    int port_;
};

// Passes everything to another channel and measures the program's own share of each request:
// from the call that handed out the last byte of an answer to the write of the next request.
class TimedChannel final : public DeviceChannel {
public:
    TimedChannel(std::unique_ptr<DeviceChannel> inner, std::chrono::nanoseconds& own)
        : inner_(std::move(inner)), own_(own) {}
    bool open(const OpenParams& params) override { return inner_->open(params); }
    void setTimeout(std::chrono::milliseconds t) override { inner_->setTimeout(t); }
    std::chrono::milliseconds timeout() const override { return inner_->timeout(); }
    std::chrono::microseconds byteTime() const override { return inner_->byteTime(); }
    bool write(std::span<const std::uint8_t> bytes) override {
        if (read_) {
            own_ += std::chrono::steady_clock::now() - lastRead_;
            read_ = false;
        }
        return inner_->write(bytes);
    }
    ChannelRead read() override { return took(inner_->read()); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        return took(inner_->readWithin(limit));
    }
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override {
        const std::size_t n = inner_->readSome(out, limit, status);
        took({0, status});
        return n;
    }
    void close() override { inner_->close(); }
    // From now on: what came before belongs to no request.
    void restart() { read_ = false; }

private:
    ChannelRead took(ChannelRead r) {
        if (r.status == kChannelOk) {
            lastRead_ = std::chrono::steady_clock::now();
            read_ = true;
        }
        return r;
    }
    std::unique_ptr<DeviceChannel> inner_;
    std::chrono::nanoseconds& own_;
    std::chrono::steady_clock::time_point lastRead_{};
    bool read_ = false;
};

class TimedFactory final : public ChannelFactory {
public:
    TimedFactory(ChannelFactory& inner, std::chrono::nanoseconds& own) : inner_(inner), own_(own) {}
    std::unique_ptr<DeviceChannel> create(std::uint8_t type) override {
        auto inner = inner_.create(type);
        if (!inner) {
            return nullptr;
        }
        auto channel = std::make_unique<TimedChannel>(std::move(inner), own_);
        last = channel.get();
        return channel;
    }
    std::uint32_t resolveHostName(std::string_view name) override {
        return inner_.resolveHostName(name);
    }
    TimedChannel* last = nullptr;

private:
    ChannelFactory& inner_;
    std::chrono::nanoseconds& own_;
};

class SilentPrompter final : public Prompter {
public:
    PromptAnswer message(std::string_view, PromptButtons, PromptIcon) override {
        return PromptAnswer::Ok;
    }
};

} // namespace dlu::bench
