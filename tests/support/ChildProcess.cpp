#include "support/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace dlu::test {

ChildProcess::ChildProcess(const std::string& path, std::vector<std::string> args,
                           std::vector<std::string> extraEnv) {
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    args.insert(args.begin(), path);
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        envText.emplace_back(*e);
    }
    envText.insert(envText.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : envText) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {outFd_, errFd_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

std::string ChildProcess::line(int timeoutMs) {
    return readLine(outFd_, pendingLine_, out_, timeoutMs);
}

std::string ChildProcess::errLine(int timeoutMs) {
    return readLine(errFd_, pendingErrLine_, err_, timeoutMs);
}

std::string ChildProcess::readLine(int fd, std::string& pending, std::string& sink,
                                   int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const auto nl = pending.find('\n');
        if (nl != std::string::npos) {
            std::string text = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            return text;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        char buf[256];
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return {};
        }
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) {
            std::string text = pending;
            pending.clear();
            return text;
        }
        sink.append(buf, static_cast<std::size_t>(n));
        pending.append(buf, static_cast<std::size_t>(n));
    }
}

void ChildProcess::drain(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool outOpen = outFd_ >= 0;
    bool errOpen = errFd_ >= 0;
    while (outOpen || errOpen) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        pollfd p[2] = {{outOpen ? outFd_ : -1, POLLIN, 0}, {errOpen ? errFd_ : -1, POLLIN, 0}};
        if (poll(p, 2, static_cast<int>(left.count())) <= 0) {
            return;
        }
        char buf[4096];
        if (p[0].revents != 0) {
            const ssize_t n = read(outFd_, buf, sizeof buf);
            if (n <= 0) {
                outOpen = false;
            } else {
                out_.append(buf, static_cast<std::size_t>(n));
            }
        }
        if (p[1].revents != 0) {
            const ssize_t n = read(errFd_, buf, sizeof buf);
            if (n <= 0) {
                errOpen = false;
            } else {
                err_.append(buf, static_cast<std::size_t>(n));
            }
        }
    }
}

int ChildProcess::wait(int timeoutMs) {
    if (pid_ <= 0) {
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    drain(timeoutMs);
    int status = 0;
    // The outputs close a moment before the child can be reaped.
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        usleep(2000);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::signal(int sig) {
    if (pid_ > 0) {
        kill(pid_, sig);
    }
}

int ChildProcess::stop(int timeoutMs) {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
    }
    return wait(timeoutMs);
}

RunResult run(const std::string& path, std::vector<std::string> args,
              std::vector<std::string> extraEnv, int timeoutMs) {
    ChildProcess child(path, std::move(args), std::move(extraEnv));
    RunResult r;
    r.code = child.wait(timeoutMs);
    r.out = child.out();
    r.err = child.err();
    return r;
}

int listeningPort(const std::string& line) {
    const auto colon = line.rfind(':');
    if (line.find("listening on") == std::string::npos || colon == std::string::npos) {
        return 0;
    }
    return std::atoi(line.c_str() + colon + 1);
}

} // namespace dlu::test
