// plcsim: a PLC speaking the loader protocol over TCP or a pseudo-terminal, with switches that
// make it misbehave on purpose.

#include "comm/ModemAnswer.h"
#include "common/Version.h"
#include "sim/PlcIdentity.h"
#include "sim/PlcServer.h"
#include "sim/PlcSimulator.h"
#include "sim/SimOptions.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) { gStop = 1; }

void installSignals() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: poll() returns and the loop looks at the flag
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    char buf[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        text += buf;
    }
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

// The simulated PLC's options on the command line, as the shared table describes them.
void addSimOptions(CLI::App& app, dlu::sim::SimOptions& options) {
    using dlu::sim::SimOption;
    std::map<std::string, CLI::App*> groups;
    for (const SimOption& option : dlu::sim::simOptions()) {
        CLI::App* target = &app;
        if (*option.group != '\0') {
            auto& group = groups[option.group];
            if (group == nullptr) {
                group = app.add_option_group(option.group);
            }
            target = group;
        }
        const std::string name = std::string("--") + option.name;
        if (option.type == SimOption::Type::Flag) {
            target->add_flag_function(
                name,
                [&options, &option](std::int64_t count) {
                    option.set(options, count > 0 ? "1" : "0");
                },
                option.help);
            continue;
        }
        auto* added = target->add_option(
            name,
            [&options, &option](const CLI::results_t& values) {
                for (const auto& value : values) {
                    if (!option.set(options, value)) {
                        return false;
                    }
                }
                return true;
            },
            option.help);
        added->type_name(option.type == SimOption::Type::Number     ? "UINT"
                         : option.type == SimOption::Type::Fraction ? "FLOAT"
                                                                    : "TEXT");
        if (option.repeated) {
            added->expected(CLI::detail::expected_max_vector_size);
        }
        if (*option.defaultText != '\0') {
            added->default_str(option.defaultText);
        }
        if (!option.choices.empty()) {
            added->check(CLI::IsMember(option.choices));
        }
        if (option.range && option.type == SimOption::Type::Fraction) {
            added->check(CLI::Range(option.range->first, option.range->second));
        } else if (option.range) {
            added->check(CLI::Range(static_cast<long long>(option.range->first),
                                    static_cast<long long>(option.range->second)));
        }
        if (option.existingFile) {
            added->check(CLI::ExistingFile);
        }
    }
}

// Every downloaded item into a file of its own in `dir`, numbered in the order they came.
void storeItems(dlu::sim::PlcSimulator& simulator, const std::string& dir) {
    std::filesystem::create_directories(dir);
    simulator.setItemSink([dir, count = 0](const dlu::sim::DownloadItem& item) mutable {
        char name[64];
        std::snprintf(name, sizeof name, "%04d_kind%02X_id%03u.bin", ++count, item.kind,
                      static_cast<unsigned>(item.id));
        std::ofstream file(std::filesystem::path(dir) / name, std::ios::binary);
        const auto bytes = item.bytes();
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    });
}

// Every frame in hex on standard error, as it goes.
void logFrames(dlu::sim::PlcSimulator& simulator) {
    simulator.setFrameLog([](bool sent, std::span<const std::uint8_t> bytes) {
        std::fprintf(stderr, "plcsim: %s %s\n", sent ? "tx" : "rx", hex(bytes).c_str());
    });
}

void printIdentities() {
    for (const auto& i : dlu::sim::PlcIdentities::all()) {
        std::printf("%-9s 0x%04X  cpu type %u\n", std::string(i.label).c_str(), i.word,
                    static_cast<unsigned>(i.cpuType));
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace dlu;
    using namespace dlu::sim;

    CLI::App app{"PLC simulator speaking the loader protocol over TCP or a serial line (pty)"};
    app.name("plcsim");
    app.set_version_flag("--version", std::string("plcsim ") + kProjectVersion,
                         "print the version and exit");
    ServerOptions server;
    SimOptions options;
    std::string storeDir;
    bool modem = false;
    unsigned modemDelayMs = 1000;
    std::string modemAnswer = "CONNECT 9600";
    bool listIdentities = false;

    app.add_option("--bind", server.bind, "IPv4 address to listen on")->capture_default_str();
    app.add_option("--port", server.port, "TCP port; 0 picks a free one")->capture_default_str();
    app.add_flag("--pty", server.pty, "serve a serial line on a pseudo-terminal instead of TCP");
    addSimOptions(app, options);
    app.add_flag("--list-identities", listIdentities,
                 "print the identities (label, identity word, CPU type of the addresses) and exit");

    auto* modemGroup = app.add_option_group("Modem");
    modemGroup->add_flag(
        "--modem", modem,
        "put a Hayes modem in front of the PLC on the pseudo-terminal (with --pty)");
    modemGroup->add_option("--modem-delay", modemDelayMs, "milliseconds from ATD to the answer")
        ->capture_default_str();
    modemGroup
        ->add_option("--modem-answer", modemAnswer,
                     "the modem's answer to ATD: CONNECT 9600, BUSY, NO CARRIER, NO ANSWER ...; "
                     "a rate it names paces the line unless --baud is given")
        ->capture_default_str();

    app.add_option("--store", storeDir, "write every downloaded item to a file in DIR");
    app.add_flag("--verbose", server.verbose, "log every frame to stderr");

    CLI11_PARSE(app, argc, argv);

    if (listIdentities) {
        printIdentities();
        return 0;
    }
    if (modem && !server.pty) {
        std::cerr << "plcsim: --modem needs --pty\n";
        return 2;
    }
    if (modem) {
        HayesModem::Settings settings;
        settings.connectDelay = std::chrono::milliseconds(modemDelayMs);
        settings.callAnswer = modemAnswer;
        server.modem = settings;
        // The call carries the PLC's bytes at the rate the modems agreed on ("CONNECT 1200"),
        // however fast the terminal runs, unless --baud says otherwise.
        if (options.faults.baud == 0) {
            options.faults.baud = connectLineRate(modemAnswer).value_or(0);
        }
    }

    SimOptionError error;
    const auto setup = resolveSimOptions(options, "A-21", error);
    if (!setup) {
        std::cerr << "plcsim: " << (error.unknownIdentity ? "unknown identity " : "") << error.text
                  << '\n';
        return 2;
    }
    if (!setup->warning.empty()) {
        std::cerr << "plcsim: warning: " << setup->warning << '\n';
    }
    std::unique_ptr<PlcSimulator> made;
    try {
        made = makeSimulator(*setup);
    } catch (const std::exception& e) {
        std::cerr << "plcsim: " << e.what() << '\n';
        return 1;
    }
    PlcSimulator& simulator = *made;
    if (!storeDir.empty()) {
        storeItems(simulator, storeDir);
    }
    if (server.verbose) {
        logFrames(simulator);
    }

    installSignals();
    PlcServer plcServer(simulator, server);
    if (!plcServer.open(std::cout, std::cerr)) {
        return 1;
    }
    plcServer.run(gStop);
    std::cout << "plcsim: stopped" << std::endl;
    return 0;
}
