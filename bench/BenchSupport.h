#pragma once

// What the benchmarks share: plcsim as a child process for the whole run, and a prompter that
// answers every message without showing it.

#include "common/Prompter.h"
#include "support/ChildProcess.h"

#include <cstdlib>
#include <string>
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

class SilentPrompter final : public Prompter {
public:
    PromptAnswer message(std::string_view, PromptButtons, PromptIcon) override {
        return PromptAnswer::Ok;
    }
};

} // namespace dlu::bench
