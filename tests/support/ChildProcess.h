#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace dlu::test {

// A program of ours run as a child process, its standard output (and, when asked, standard
// error) read through pipes. The destructor kills what is still running.
class ChildProcess {
public:
    ChildProcess(const std::string& path, std::vector<std::string> args,
                 std::vector<std::string> extraEnv = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // The next line of standard output, or "" after `timeoutMs` or at its end.
    std::string line(int timeoutMs = 5000);
    // The same for standard error.
    std::string errLine(int timeoutMs = 5000);
    // Waits for the exit (killing the child after `timeoutMs`) and collects the rest of both
    // outputs. The exit code, or -1 when it did not exit by itself.
    int wait(int timeoutMs = 20000);
    // Sends `sig` to the child (a Ctrl-C is SIGINT).
    void signal(int sig);
    // Asks the child to end (SIGTERM) and waits for it: its exit code as wait() gives it.
    int stop(int timeoutMs = 5000);
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    void drain(int timeoutMs);
    std::string readLine(int fd, std::string& pending, std::string& sink, int timeoutMs);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    std::string pendingLine_;
    std::string pendingErrLine_;
};

// Runs a program to its end: exit code, standard output and standard error.
struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};
RunResult run(const std::string& path, std::vector<std::string> args,
              std::vector<std::string> extraEnv = {}, int timeoutMs = 20000);

// The port a "plcsim --port 0" prints ("plcsim: listening on 127.0.0.1:PORT"), 0 if none.
int listeningPort(const std::string& line);

} // namespace dlu::test
