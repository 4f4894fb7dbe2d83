// plcsim: a PLC speaking the loader protocol over TCP or a pseudo-terminal, with switches that
// make it misbehave on purpose.

#include "devmem/PdmFile.h"
#include "devmem/PdmImage.h"
#include "sim/PlcIdentity.h"
#include "sim/PlcServer.h"
#include "sim/PlcSimulator.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
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

std::optional<unsigned long> number(const std::string& text) {
    try {
        std::size_t used = 0;
        const unsigned long value = std::stoul(text, &used, 0);
        return used == text.size() ? std::optional(value) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// "R", "t", "0x83" or "131": a command code.
std::optional<std::uint8_t> commandCode(const std::string& text) {
    if (text.size() == 1) {
        return static_cast<std::uint8_t>(text[0]);
    }
    const auto value = number(text);
    if (!value || *value > 0xFF) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*value);
}

// "WHAT:CODE" with CODE an 'E' error code.
std::optional<std::pair<std::string, std::uint8_t>> splitRule(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return std::nullopt;
    }
    const auto code = number(text.substr(colon + 1));
    if (!code || *code > 0xFF) {
        return std::nullopt;
    }
    return std::pair(text.substr(0, colon), static_cast<std::uint8_t>(*code));
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

} // namespace

int main(int argc, char** argv) {
    using namespace dlu;
    using namespace dlu::sim;

    CLI::App app{"PLC simulator speaking the loader protocol over TCP or a serial line (pty)"};
    ServerOptions server;
    PlcConfig plc;
    FaultConfig faults;
    std::string identity = "A-21";
    std::string cpuType;
    std::string mode = "stop";
    std::string key = "remote";
    unsigned station = 0xFF;
    unsigned firmware = plc.firmware;
    std::vector<std::string> errorOn;
    std::vector<std::string> errorAt;
    std::string storeDir;
    bool olderPlc = false;
    std::string passwordForm = "exchange";
    std::optional<std::uint32_t> memorySeed;
    std::string memoryFile;
    bool modem = false;
    unsigned modemDelayMs = 1000;
    std::string modemAnswer = "CONNECT 9600";
    bool listIdentities = false;

    app.add_option("--bind", server.bind, "IPv4 address to listen on")->capture_default_str();
    app.add_option("--port", server.port, "TCP port; 0 picks a free one")->capture_default_str();
    app.add_flag("--pty", server.pty, "serve a serial line on a pseudo-terminal instead of TCP");
    auto* identityOption =
        app.add_option("--identity", identity,
                       "PLC identity: a label such as A-21, a CPU type code such as 26, or the raw "
                       "identity word in hexadecimal (0x7A31)")
            ->capture_default_str();
    app.add_option("--cpu-type", cpuType,
                   "CPU type (code or name) whose device addresses the PLC uses; "
                   "by default the one of the identity");
    auto* firmwareOption =
        app.add_option("--firmware", firmware,
                       "firmware version word; by default one that makes the program use the "
                       "password scheme of --password-form");
    app.add_option("--station", station, "station number, 255 = answers every station")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    app.add_option("--mode", mode, "CPU state")
        ->check(CLI::IsMember({"run", "stop", "pause"}))
        ->capture_default_str();
    app.add_option("--key", key, "key switch")
        ->check(CLI::IsMember({"local", "remote"}))
        ->capture_default_str();
    app.add_flag("--older-plc", olderPlc, "answer the protocol test with 'E' (no station header)");
    app.add_flag(
        "--allow-download-in-run", [&plc](std::int64_t) { plc.downloadNeedsStop = false; },
        "accept program download blocks while the CPU runs");

    app.add_flag("--list-identities", listIdentities,
                 "print the identities (label, identity word, CPU type of the addresses) and exit");

    auto* lockGroup = app.add_option_group("Password");
    lockGroup->add_option("--password", plc.password,
                          "lock the PLC with this connection password (at most 14 characters)");
    auto* formOption =
        lockGroup
            ->add_option("--password-form", passwordForm,
                         "how the PLC keeps it: exchange (login with 'w'), exchange-old / "
                         "exchange-plain (older forms the login replaces by the current one), "
                         "stored / stored-plain (block in W0000, older CPUs only: picks A-01 with "
                         "a firmware below 346 unless --identity / --firmware say otherwise)")
            ->check(CLI::IsMember(
                {"exchange", "exchange-old", "exchange-plain", "stored", "stored-plain"}))
            ->capture_default_str();

    auto* memoryGroup = app.add_option_group("Memory");
    memoryGroup->add_option("--image-size", plc.imageSize,
                            "bytes of the Linux device image served by 'U' (0: none)");
    memoryGroup->add_option(
        "--memory-seed", memorySeed,
        "fill the device areas (and the Linux image) with a pattern of this seed");
    memoryGroup
        ->add_option("--memory-file", memoryFile,
                     "load the device areas from a .PDM device memory file")
        ->check(CLI::ExistingFile);

    auto* modemGroup = app.add_option_group("Modem");
    modemGroup->add_flag(
        "--modem", modem,
        "put a Hayes modem in front of the PLC on the pseudo-terminal (with --pty)");
    modemGroup->add_option("--modem-delay", modemDelayMs, "milliseconds from ATD to the answer")
        ->capture_default_str();
    modemGroup
        ->add_option("--modem-answer", modemAnswer,
                     "the modem's answer to ATD: CONNECT 9600, BUSY, NO CARRIER, NO ANSWER ...")
        ->capture_default_str();

    auto* faultGroup = app.add_option_group("Faults");
    faultGroup->add_option("--corrupt", faults.corruptResponses,
                           "send response number N with a wrong check code (repeatable)");
    faultGroup
        ->add_option("--corrupt-rate", faults.corruptRate,
                     "probability that any response has a wrong check code")
        ->check(CLI::Range(0.0, 1.0));
    faultGroup->add_option("--seed", faults.seed, "seed of --corrupt-rate")->capture_default_str();
    faultGroup->add_option("--error-on", errorOn,
                           "answer every request of command CMD with 'E' CODE: CMD:CODE, e.g. "
                           "R:11 or 0x83:15 (repeatable)");
    faultGroup->add_option("--error-at", errorAt,
                           "answer request number N with 'E' CODE: N:CODE (repeatable)");
    faultGroup->add_option("--drop", faults.dropRequests,
                           "do not answer request number N (repeatable)");
    faultGroup->add_flag("--echo", faults.echo, "loopback cable: send every byte back");
    faultGroup->add_option("--close-after", faults.closeAfterFrames,
                           "close the connection after N responses");
    faultGroup->add_option("--baud", faults.baud,
                           "emulate a serial line of this speed (10 bits per byte)");

    app.add_option("--store", storeDir, "write every downloaded item to a file in DIR");
    app.add_flag("--verbose", server.verbose, "log every frame to stderr");

    CLI11_PARSE(app, argc, argv);

    if (listIdentities) {
        for (const auto& i : PlcIdentities::all()) {
            std::printf("%-9s 0x%04X  cpu type %u\n", std::string(i.label).c_str(), i.word,
                        static_cast<unsigned>(i.cpuType));
        }
        return 0;
    }
    const PasswordForm form = passwordForm == "exchange-old"     ? PasswordForm::ExchangeOld
                              : passwordForm == "exchange-plain" ? PasswordForm::ExchangePlain
                              : passwordForm == "stored"         ? PasswordForm::Stored
                              : passwordForm == "stored-plain"   ? PasswordForm::StoredPlain
                                                                 : PasswordForm::Exchange;
    plc.passwordForm = form;
    if (plc.password.size() > PasswordCipher::kMaxLength) {
        std::cerr << "plcsim: a password has at most " << PasswordCipher::kMaxLength
                  << " characters\n";
        return 2;
    }
    if (isStoredForm(form) && identityOption->count() == 0) {
        identity = "A-01"; // an older CPU: only those keep their password in W0000
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
    }

    if (const auto word = PlcIdentities::wordOf(identity)) {
        plc.identityWord = *word;
    } else if (const auto word2 = PlcIdentities::wordOfCpuType(CpuTypeTable::parse(identity))) {
        plc.identityWord = *word2; // a CPU type code such as 26, or a name the table knows
    } else if (const auto raw = number(identity); raw && *raw <= 0xFFFF) {
        plc.identityWord = static_cast<std::uint16_t>(*raw);
    } else {
        std::cerr << "plcsim: unknown identity " << identity << '\n';
        return 2;
    }
    plc.cpuType = PlcIdentities::cpuTypeOf(plc.identityWord);
    if (!cpuType.empty()) {
        plc.cpuType = CpuTypeTable::parse(cpuType);
        if (plc.cpuType == kNoCpuType) {
            std::cerr << "plcsim: unknown CPU type " << cpuType << '\n';
            return 2;
        }
    } else if (plc.cpuType == kNoCpuType) {
        std::cerr << "plcsim: no device addresses known for identity " << identity
                  << "; choose them with --cpu-type\n";
        return 2;
    }
    plc.firmware = static_cast<std::uint16_t>(firmware);
    // The program picks the password scheme from the identity and the firmware: make them
    // agree with the form, or say that they do not.
    const bool wantStored = isStoredForm(form);
    if (firmwareOption->count() == 0) {
        if (const auto fw = PlcIdentities::firmwareFor(plc.identityWord, wantStored)) {
            plc.firmware = *fw;
        }
    }
    if (PlcIdentities::usesStoredCheck(plc.identityWord, plc.firmware) != wantStored &&
        (formOption->count() != 0 || !plc.password.empty())) {
        std::cerr << "plcsim: warning: with identity " << identity << " and firmware "
                  << plc.firmware << " the program uses the "
                  << (wantStored ? "password exchange" : "stored password check")
                  << ", not the form " << passwordForm
                  << (wantStored ? " (stored forms need A-01..A-04 below 346 or B-01 below 256)"
                                 : "")
                  << '\n';
    }
    plc.station = static_cast<std::uint8_t>(station);
    plc.takesStationHeader = !olderPlc;
    plc.state = mode == "run" ? RunState::Run : mode == "pause" ? RunState::Pause : RunState::Stop;
    plc.key = key == "local" ? KeySwitch::Local : KeySwitch::Remote;

    for (const auto& text : errorOn) {
        const auto rule = splitRule(text);
        const auto command = rule ? commandCode(rule->first) : std::nullopt;
        if (!command) {
            std::cerr << "plcsim: --error-on wants CMD:CODE, got " << text << '\n';
            return 2;
        }
        faults.errorReplies.push_back({*command, 0, rule->second});
    }
    for (const auto& text : errorAt) {
        const auto rule = splitRule(text);
        const auto nth = rule ? number(rule->first) : std::nullopt;
        if (!nth || *nth == 0) {
            std::cerr << "plcsim: --error-at wants N:CODE, got " << text << '\n';
            return 2;
        }
        faults.errorReplies.push_back({std::nullopt, *nth, rule->second});
    }

    if (memorySeed) {
        plc.imageSeed = *memorySeed;
    }
    std::optional<PdmImage> memory;
    if (!memoryFile.empty()) {
        memory.emplace();
        const auto result = PdmFile::load(memoryFile, *memory);
        if (result != PdmFile::LoadResult::Loaded) {
            std::cerr << "plcsim: " << memoryFile << " is not a complete device memory file\n";
            return 2;
        }
    }

    std::optional<PlcSimulator> made;
    try {
        made.emplace(plc, faults);
    } catch (const std::exception& e) {
        std::cerr << "plcsim: " << e.what() << '\n';
        return 1;
    }
    PlcSimulator& simulator = *made;
    if (memorySeed) {
        simulator.fillDeviceMemory(*memorySeed);
    }
    if (memory) {
        simulator.loadDeviceMemory(*memory);
    }
    if (!storeDir.empty()) {
        std::filesystem::create_directories(storeDir);
        simulator.setItemSink([&storeDir, count = 0](const DownloadItem& item) mutable {
            char name[64];
            std::snprintf(name, sizeof name, "%04d_kind%02X_id%03u.bin", ++count, item.kind,
                          static_cast<unsigned>(item.id));
            std::ofstream file(std::filesystem::path(storeDir) / name, std::ios::binary);
            const auto bytes = item.bytes();
            file.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        });
    }
    if (server.verbose) {
        simulator.setFrameLog([](bool sent, std::span<const std::uint8_t> bytes) {
            std::fprintf(stderr, "plcsim: %s %s\n", sent ? "tx" : "rx", hex(bytes).c_str());
        });
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
