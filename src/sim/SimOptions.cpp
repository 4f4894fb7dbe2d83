#include "sim/SimOptions.h"

#include "devmem/PdmFile.h"
#include "sim/PlcIdentity.h"
#include "sim/SimLinuxImage.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace dlu::sim {

namespace {

// A number in decimal, or in hexadecimal after 0x, or in octal after a leading 0; at most `max`.
std::optional<std::uint64_t> number(const std::string& text,
                                    std::uint64_t max = std::numeric_limits<std::uint64_t>::max()) {
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end != text.c_str() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

template <typename T> bool setNumber(T& to, const std::string& text) {
    const auto value = number(text, std::numeric_limits<T>::max());
    if (value) {
        to = static_cast<T>(*value);
    }
    return value.has_value();
}

template <typename T> bool addNumber(std::set<T>& to, const std::string& text) {
    T value{};
    if (!setNumber(value, text)) {
        return false;
    }
    to.insert(value);
    return true;
}

bool flag(const std::string& text, bool& to) {
    if (text == "1" || text == "true") {
        to = true;
        return true;
    }
    if (text == "0" || text == "false") {
        to = false;
        return true;
    }
    return false;
}

struct FormName {
    const char* name;
    PasswordForm form;
};
constexpr std::array<FormName, 5> kFormNames{{{"exchange", PasswordForm::Exchange},
                                              {"exchange-old", PasswordForm::ExchangeOld},
                                              {"exchange-plain", PasswordForm::ExchangePlain},
                                              {"stored", PasswordForm::Stored},
                                              {"stored-plain", PasswordForm::StoredPlain}}};

const char* formName(PasswordForm form) {
    for (const auto& f : kFormNames) {
        if (f.form == form) {
            return f.name;
        }
    }
    return "exchange";
}

// "R", "t", "0x83" or "131": a command code.
std::optional<std::uint8_t> commandCode(const std::string& text) {
    if (text.size() == 1) {
        return static_cast<std::uint8_t>(text[0]);
    }
    const auto value = number(text, 0xFF);
    return value ? std::optional(static_cast<std::uint8_t>(*value)) : std::nullopt;
}

// "WHAT:CODE" with CODE an 'E' error code.
std::optional<std::pair<std::string, std::uint8_t>> splitRule(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return std::nullopt;
    }
    const auto code = number(text.substr(colon + 1), 0xFF);
    if (!code) {
        return std::nullopt;
    }
    return std::pair(text.substr(0, colon), static_cast<std::uint8_t>(*code));
}

using T = SimOption::Type;
using Setter = bool (*)(SimOptions&, const std::string&);

// Options go into the table in the group being filled.
struct TableBuilder {
    std::vector<SimOption>& table;
    const char* group = "";

    SimOption& add(const char* name, const char* uriName, T type, const char* help, Setter set) {
        return table.emplace_back(
            SimOption{name, uriName, group, type, false, help, "", {}, {}, false, set});
    }
};

// The PLC: identity, CPU type, firmware, station, state and key switch.
void addPlcOptions(TableBuilder& b) {
    b.add("identity", "identity", T::Text,
          "PLC identity: a label such as A-21, a CPU type code such as 26, or the raw identity "
          "word in hexadecimal (0x7A31)",
          [](SimOptions& o, const std::string& v) {
              o.identity = v;
              return true;
          })
        .defaultText = "A-21";
    b.add("cpu-type", "cpu-type", T::Text,
          "CPU type (code or name) whose device addresses the PLC uses; by default the one of the "
          "identity",
          [](SimOptions& o, const std::string& v) {
              o.cpuType = v;
              return true;
          });
    b.add("firmware", "firmware", T::Number,
          "firmware version word; by default one that makes the program use the password scheme "
          "of --password-form",
          [](SimOptions& o, const std::string& v) {
              std::uint32_t value = 0;
              if (!setNumber(value, v)) {
                  return false;
              }
              o.firmware = static_cast<std::uint16_t>(value);
              return true;
          });
    auto& station =
        b.add("station", "station", T::Number, "station number, 255 = answers every station",
              [](SimOptions& o, const std::string& v) { return setNumber(o.station, v); });
    station.defaultText = "255";
    station.range = std::pair(0.0, 255.0);
    auto& mode =
        b.add("mode", "mode", T::Choice, "CPU state", [](SimOptions& o, const std::string& v) {
            if (v != "run" && v != "stop" && v != "pause") {
                return false;
            }
            o.state = v == "run" ? RunState::Run : v == "pause" ? RunState::Pause : RunState::Stop;
            return true;
        });
    mode.defaultText = "stop";
    mode.choices = {"run", "stop", "pause"};
    auto& key =
        b.add("key", "key", T::Choice, "key switch", [](SimOptions& o, const std::string& v) {
            if (v != "local" && v != "remote") {
                return false;
            }
            o.key = v == "local" ? KeySwitch::Local : KeySwitch::Remote;
            return true;
        });
    key.defaultText = "remote";
    key.choices = {"local", "remote"};
    b.add("older-plc", "older-plc", T::Flag,
          "answer the protocol test with 'E' (no station header)",
          [](SimOptions& o, const std::string& v) { return flag(v, o.olderPlc); });
    b.add("allow-download-in-run", "allow-download-in-run", T::Flag,
          "accept program download blocks while the CPU runs",
          [](SimOptions& o, const std::string& v) { return flag(v, o.downloadInRun); });
}

void addPasswordOptions(TableBuilder& b) {
    b.group = "Password";
    b.add("password", "password", T::Text,
          "lock the PLC with this connection password (at most 14 characters)",
          [](SimOptions& o, const std::string& v) {
              o.password = v;
              return true;
          });
    auto& form = b.add(
        "password-form", "password-form", T::Choice,
        "how the PLC keeps it: exchange (login with 'w'), exchange-old / exchange-plain (older "
        "forms the login replaces by the current one), stored / stored-plain (block in W0000, "
        "older CPUs only: picks A-01 with a firmware below 346 unless --identity / --firmware "
        "say otherwise)",
        [](SimOptions& o, const std::string& v) {
            for (const auto& f : kFormNames) {
                if (v == f.name) {
                    o.passwordForm = f.form;
                    return true;
                }
            }
            return false;
        });
    form.defaultText = "exchange";
    for (const auto& f : kFormNames) {
        form.choices.emplace_back(f.name);
    }
}

void addMemoryOptions(TableBuilder& b) {
    b.group = "Memory";
    b.add("image-size", "image", T::Number,
          "bytes of the Linux device image served by 'U' (0: none)",
          [](SimOptions& o, const std::string& v) {
              const auto n = number(v, SimLinuxImage::kMaxSize);
              if (n) {
                  o.imageSize = static_cast<std::size_t>(*n);
              }
              return n.has_value();
          })
        .range = std::pair(0.0, static_cast<double>(SimLinuxImage::kMaxSize));
    b.add("memory-seed", "seed", T::Number,
          "fill the device areas (and the Linux image) with a pattern of this seed",
          [](SimOptions& o, const std::string& v) {
              std::uint32_t seed = 0;
              if (!setNumber(seed, v)) {
                  return false;
              }
              o.memorySeed = seed;
              return true;
          });
    b.add("memory-file", "memory-file", T::Text,
          "load the device areas from a .PDM device memory file",
          [](SimOptions& o, const std::string& v) {
              o.memoryFile = v;
              return true;
          })
        .existingFile = true;
}

void addFaultOptions(TableBuilder& b) {
    b.group = "Faults";
    b.add("corrupt", "corrupt", T::Number,
          "send response number N with a wrong check code (repeatable)",
          [](SimOptions& o, const std::string& v) {
              return addNumber(o.faults.corruptResponses, v);
          })
        .repeated = true;
    b.add("corrupt-rate", "corrupt-rate", T::Fraction,
          "probability that any response has a wrong check code",
          [](SimOptions& o, const std::string& v) {
              char* end = nullptr;
              const double rate = v.empty() ? -1.0 : std::strtod(v.c_str(), &end);
              if (v.empty() || end != v.c_str() + v.size() || !(rate >= 0.0 && rate <= 1.0)) {
                  return false;
              }
              o.faults.corruptRate = rate;
              return true;
          })
        .range = std::pair(0.0, 1.0);
    // The query's "seed" is the memory's: this one is plcsim's alone.
    b.add("seed", nullptr, T::Number, "seed of --corrupt-rate",
          [](SimOptions& o, const std::string& v) { return setNumber(o.faults.seed, v); })
        .defaultText = "1";
    b.add("error-on", "error-on", T::Text,
          "answer every request of command CMD with 'E' CODE: CMD:CODE, e.g. R:11 or 0x83:15 "
          "(repeatable)",
          [](SimOptions& o, const std::string& v) {
              o.errorOn.push_back(v);
              return true;
          })
        .repeated = true;
    b.add("error-at", "error-at", T::Text,
          "answer request number N with 'E' CODE: N:CODE (repeatable)",
          [](SimOptions& o, const std::string& v) {
              o.errorAt.push_back(v);
              return true;
          })
        .repeated = true;
    b.add("hang-on", "hang-on", T::Text,
          "stop dead at the first request of command CMD, never to answer or return (a test hook "
          "for killing the program there), e.g. D",
          [](SimOptions& o, const std::string& v) {
              o.hangOn = v;
              return true;
          });
    b.add("drop", "drop", T::Number, "do not answer request number N (repeatable)",
          [](SimOptions& o, const std::string& v) { return addNumber(o.faults.dropRequests, v); })
        .repeated = true;
    b.add("lose-write", "lose-write", T::Number,
          "confirm request number N, a write or the last block of a device image, but change "
          "nothing (repeatable)",
          [](SimOptions& o, const std::string& v) { return addNumber(o.faults.loseWrites, v); })
        .repeated = true;
    b.add("echo", "echo", T::Flag, "loopback cable: send every byte back",
          [](SimOptions& o, const std::string& v) { return flag(v, o.faults.echo); });
    b.add("close-after", "close-after", T::Number, "close the connection after N responses",
          [](SimOptions& o, const std::string& v) {
              return setNumber(o.faults.closeAfterFrames, v);
          });
    b.add("baud", "baud", T::Number, "emulate a serial line of this speed (10 bits per byte)",
          [](SimOptions& o, const std::string& v) { return setNumber(o.faults.baud, v); });
    b.add("turnaround", "turnaround", T::Number,
          "wait this many milliseconds between a request and its answer, as a PLC does",
          [](SimOptions& o, const std::string& v) {
              // A PLC that takes longer than the program's longest time-out is a dead one.
              constexpr std::uint32_t kMaxTurnaroundMs = 60'000;
              const auto ms = number(v, kMaxTurnaroundMs);
              if (ms) {
                  o.faults.turnaroundMs = static_cast<std::uint32_t>(*ms);
              }
              return ms.has_value();
          });
    b.add("adapter-latency", "adapter-latency", T::Number,
          "a USB-serial adapter at the program's end: hold each batch of answer bytes until MS "
          "ms after its first byte, or until 62 bytes have gathered",
          [](SimOptions& o, const std::string& v) {
              // The adapters' timers go up to 255 ms.
              const auto ms = number(v, 255);
              if (ms) {
                  o.faults.adapterLatencyMs = static_cast<std::uint32_t>(*ms);
              }
              return ms.has_value();
          });
}

std::vector<SimOption> makeTable() {
    std::vector<SimOption> table;
    TableBuilder b{table};
    addPlcOptions(b);
    addPasswordOptions(b);
    addMemoryOptions(b);
    addFaultOptions(b);
    return table;
}

const std::vector<SimOption>& table() {
    static const std::vector<SimOption> options = makeTable();
    return options;
}

// The word of an identity: a label, a CPU type code or name the table knows, or a raw word.
std::optional<std::uint16_t> identityWord(const std::string& identity) {
    if (const auto word = PlcIdentities::wordOf(identity)) {
        return word;
    }
    if (const auto word = PlcIdentities::wordOfCpuType(CpuTypeTable::parse(identity))) {
        return word;
    }
    if (const auto raw = number(identity, 0xFFFF)) {
        return static_cast<std::uint16_t>(*raw);
    }
    return std::nullopt;
}

} // namespace

std::span<const SimOption> simOptions() { return table(); }

std::optional<SimSetup> resolveSimOptions(const SimOptions& options,
                                          std::string_view defaultIdentity, SimOptionError& error) {
    const auto fail = [&error](std::string text) {
        error.text = std::move(text);
        return std::nullopt;
    };
    SimSetup setup;
    PlcConfig& plc = setup.plc;
    const PasswordForm form = options.passwordForm.value_or(PasswordForm::Exchange);
    const bool wantStored = isStoredForm(form);
    plc.password = options.password;
    plc.passwordForm = form;
    if (plc.password.size() > PasswordCipher::kMaxLength) {
        return fail("a password has at most " + std::to_string(PasswordCipher::kMaxLength) +
                    " characters");
    }
    // Only an older CPU keeps its password in W0000.
    const std::string identity = options.identity ? *options.identity
                                 : wantStored     ? std::string("A-01")
                                                  : std::string(defaultIdentity);
    const auto word = identityWord(identity);
    if (!word) {
        error.unknownIdentity = true;
        return fail(identity);
    }
    plc.identityWord = *word;
    plc.cpuType = PlcIdentities::cpuTypeOf(plc.identityWord);
    if (!options.cpuType.empty()) {
        plc.cpuType = CpuTypeTable::parse(options.cpuType);
        if (plc.cpuType == kNoCpuType) {
            return fail("unknown CPU type " + options.cpuType);
        }
    } else if (plc.cpuType == kNoCpuType) {
        return fail("no device addresses known for identity " + identity +
                    "; choose them with --cpu-type");
    }
    // The program picks the password scheme from the identity and the firmware: make them
    // agree with the form, or say that they do not.
    plc.firmware = options.firmware.value_or(PlcIdentities::kDefaultFirmware);
    if (!options.firmware) {
        if (const auto fw = PlcIdentities::firmwareFor(plc.identityWord, wantStored)) {
            plc.firmware = *fw;
        }
    }
    if (PlcIdentities::usesStoredCheck(plc.identityWord, plc.firmware) != wantStored &&
        (options.passwordForm || !plc.password.empty())) {
        setup.warning =
            "with identity " + identity + " and firmware " + std::to_string(plc.firmware) +
            " the program uses the " +
            (wantStored ? "password exchange" : "stored password check") + ", not the form " +
            formName(form) +
            (wantStored ? " (stored forms need A-01..A-04 below 346 or B-01 below 256)" : "");
    }
    plc.station = options.station;
    plc.takesStationHeader = !options.olderPlc;
    plc.state = options.state;
    plc.key = options.key;
    plc.downloadNeedsStop = !options.downloadInRun;
    plc.imageSize = options.imageSize;

    setup.faults = options.faults;
    for (const auto& text : options.errorOn) {
        const auto rule = splitRule(text);
        const auto command = rule ? commandCode(rule->first) : std::nullopt;
        if (!command) {
            return fail("--error-on wants CMD:CODE, got " + text);
        }
        setup.faults.errorReplies.push_back({*command, 0, rule->second});
    }
    if (!options.hangOn.empty()) {
        const auto command = commandCode(options.hangOn);
        if (!command) {
            return fail("--hang-on wants a command code, got " + options.hangOn);
        }
        setup.faults.hangOnCommand = *command;
    }
    for (const auto& text : options.errorAt) {
        const auto rule = splitRule(text);
        const auto nth = rule ? number(rule->first) : std::nullopt;
        if (!nth || *nth == 0) {
            return fail("--error-at wants N:CODE, got " + text);
        }
        setup.faults.errorReplies.push_back({std::nullopt, *nth, rule->second});
    }

    setup.memorySeed = options.memorySeed;
    if (options.memorySeed) {
        plc.imageSeed = *options.memorySeed;
    }
    if (!options.memoryFile.empty()) {
        setup.memory.emplace();
        if (PdmFile::load(options.memoryFile, *setup.memory) != PdmFile::LoadResult::Loaded) {
            return fail(options.memoryFile + " is not a complete device memory file");
        }
    }
    return setup;
}

std::unique_ptr<PlcSimulator> makeSimulator(const SimSetup& setup) {
    auto simulator = std::make_unique<PlcSimulator>(setup.plc, setup.faults);
    if (setup.memorySeed) {
        simulator->fillDeviceMemory(*setup.memorySeed);
    }
    if (setup.memory) {
        simulator->loadDeviceMemory(*setup.memory);
    }
    return simulator;
}

bool applyUriOptions(const std::map<std::string, std::string>& query, SimOptions& options,
                     std::string& error) {
    for (const auto& [key, value] : query) {
        const auto all = simOptions();
        const std::string& name = key; // a lambda cannot capture a structured binding here
        const bool known = std::any_of(all.begin(), all.end(), [&](const SimOption& o) {
            return o.uriName != nullptr && name == o.uriName;
        });
        if (!known) {
            error = "unknown option for the embedded simulator: " + key;
            return false;
        }
    }
    for (const auto& option : simOptions()) {
        if (option.uriName == nullptr) {
            continue;
        }
        const auto it = query.find(option.uriName);
        if (it == query.end() || it->second.empty() || option.set(options, it->second)) {
            continue;
        }
        const std::string key = option.uriName;
        if (option.type == SimOption::Type::Choice) {
            // "mode=run, mode=stop or mode=pause"
            error.clear();
            for (std::size_t i = 0; i < option.choices.size(); ++i) {
                error += i == 0 ? "" : i + 1 == option.choices.size() ? " or " : ", ";
                error += key + '=' + option.choices[i];
            }
        } else {
            const bool number =
                option.type == SimOption::Type::Number || option.type == SimOption::Type::Fraction;
            error = std::string(number ? "bad number for " : "bad value for ") + key + ": " +
                    it->second;
            if (number && option.range && option.type == SimOption::Type::Number) {
                error += " (" + std::to_string(static_cast<std::uint64_t>(option.range->first)) +
                         " to " + std::to_string(static_cast<std::uint64_t>(option.range->second)) +
                         ")";
            }
        }
        return false;
    }
    return true;
}

} // namespace dlu::sim
