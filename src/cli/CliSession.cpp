#include "cli/CliSession.h"

#include "cli/FileFrameTrace.h"
#include "cli/TerminalPrompter.h"
#include "comm/DialUpSequence.h"
#include "common/StringTable.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/PlcIdentity.h"
#include "sim/PlcSimulator.h"

#ifdef DLU_CLI_WITH_QT
#include "app/AppSettings.h"
#include "app/settings/QtSettingsStore.h"
#include "comm/channels/QtChannelFactory.h"
#include "comm/channels/QtSerialPorts.h"

#include <QString>
#endif

#include <charconv>
#include <cstdio>
#include <system_error>

namespace dlu {

namespace {

// The simulator an embedded connection talks to, from the connection's options.
std::unique_ptr<sim::PlcSimulator>
makeSimulator(const ConnectionUri& uri, std::string_view defaultLabel, std::string& error) {
    sim::PlcConfig config;
    const auto opt = [&](const char* key) -> std::string {
        const auto it = uri.query.find(key);
        return it == uri.query.end() ? std::string() : it->second;
    };
    const std::string label = opt("identity").empty() ? std::string(defaultLabel) : opt("identity");
    const auto word = sim::PlcIdentities::wordOf(label);
    if (!word) {
        error = "unknown PLC for the embedded simulator: " + label;
        return nullptr;
    }
    config.identityWord = *word;
    config.cpuType = sim::PlcIdentities::cpuTypeOf(*word);
    if (const auto key = opt("key"); !key.empty()) {
        if (key != "local" && key != "remote") {
            error = "key=local or key=remote";
            return nullptr;
        }
        config.key = key == "local" ? sim::KeySwitch::Local : sim::KeySwitch::Remote;
    }
    if (const auto mode = opt("mode"); !mode.empty()) {
        if (mode == "run") {
            config.state = sim::RunState::Run;
        } else if (mode == "stop") {
            config.state = sim::RunState::Stop;
        } else if (mode == "pause") {
            config.state = sim::RunState::Pause;
        } else {
            error = "mode=run, mode=stop or mode=pause";
            return nullptr;
        }
    }
    // Device memory and the Linux image, as plcsim's --memory-seed and --image-size make them.
    std::optional<std::uint32_t> seed;
    for (const char* key : {"seed", "image"}) {
        const auto text = opt(key);
        if (text.empty()) {
            continue;
        }
        std::uint32_t value = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || ptr != text.data() + text.size()) {
            error = std::string("bad number for ") + key + ": " + text;
            return nullptr;
        }
        if (std::string_view(key) == "seed") {
            seed = value;
            config.imageSeed = value;
        } else {
            config.imageSize = value;
        }
    }
    auto simulator = std::make_unique<sim::PlcSimulator>(config);
    if (seed) {
        simulator->fillDeviceMemory(*seed);
    }
    return simulator;
}

} // namespace

CliSession::~CliSession() = default;

OnlineContext CliSession::context() {
    return OnlineContext{settings_, *com_, *protocol_, *prompter_, *messages_, clock_};
}

std::unique_ptr<CliSession> CliSession::open(const ConnectionOptions& options,
                                             TerminalPrompter& prompter, const Messages& messages,
                                             std::string_view embeddedLabel, std::string& error) {
    std::unique_ptr<CliSession> s(new CliSession());
    s->settings_.setDefaults();

    std::optional<ConnectionUri> uri;
    if (!options.conn.empty()) {
        uri = ConnectionUri::parse(options.conn, error);
        if (!uri || !uri->applyTo(s->settings_, error)) {
            return nullptr;
        }
    } else {
#ifdef DLU_CLI_WITH_QT
        QtSettingsStore store;
        s->settings_.load(store);
#else
        error = "no connection given (--conn)";
        return nullptr;
#endif
    }

    // --timeout and --retry go to the fields of the type in use.
    if (options.timeout) {
        const auto t = static_cast<std::uint16_t>(*options.timeout);
        for (auto* field :
             {&s->settings_.nRS232to, &s->settings_.nDIALto, &s->settings_.nLINEto,
              &s->settings_.nETHERNETto, &s->settings_.nSIMULATORto, &s->settings_.nUSBto}) {
            *field = t;
        }
    }
    if (options.retry) {
        const auto r = static_cast<std::uint8_t>(*options.retry);
        for (auto* field : {&s->settings_.nRS232retry, &s->settings_.nDIALretry,
                            &s->settings_.nLINEretry, &s->settings_.nETHERNETretry,
                            &s->settings_.nSIMULATORretry, &s->settings_.nUSBretry}) {
            *field = r;
        }
    }

    if (uri && uri->kind == ConnectionUri::Kind::Embedded) {
        s->simulator_ = makeSimulator(*uri, embeddedLabel, error);
        if (!s->simulator_) {
            return nullptr;
        }
        s->factory_ = std::make_unique<sim::EmbeddedChannelFactory>(*s->simulator_);
    } else {
#ifdef DLU_CLI_WITH_QT
        SerialPortLister ports = systemSerialPorts;
        if (uri && !uri->device.empty()) {
            // The device named on the command line is the one port of the list (index 0).
            const QString path = QString::fromStdString(uri->device);
            const bool usb = uri->kind == ConnectionUri::Kind::Usb;
            ports = [path, usb] {
                return std::vector<SerialPortEntry>{{path.section('/', -1), path, usb}};
            };
        }
        s->factory_ = std::make_unique<QtChannelFactory>(ports);
#else
        error = "this dlutil was built without Qt: only --conn embedded works";
        return nullptr;
#endif
    }

    s->com_ = std::make_unique<CCOMInterface>(*s->factory_, prompter);
    if (!options.trace.empty()) {
        s->trace_ = std::make_unique<FileFrameTrace>(options.trace);
        if (!s->trace_->ok()) {
            error = "cannot write the trace file " + options.trace;
            return nullptr;
        }
    }
    s->protocol_ = std::make_unique<CProtocol>(*s->com_, s->trace_.get());

    // What the setup dialog's OK does: attempt count, time-out and station of the type.
    const auto applied = s->settings_.settingsToApply();
    if (applied.attemptCount) {
        s->protocol_->setAttemptCount(*applied.attemptCount);
    }
    if (applied.timeout) {
        s->com_->setTimeout(*applied.timeout);
    }
    if (applied.stationNumber) {
        s->protocol_->setStationNumber(*applied.stationNumber);
    }

    CliSession* raw = s.get();
    s->com_->setDialUpHook([raw, &prompter, &messages] {
        DialUpChannel* modem = raw->com_->dialUpChannel();
        if (modem == nullptr) {
            return false;
        }
        DialUpSequence dial(*modem, raw->settings_, prompter, messages, raw->clock_);
        dial.setStatusSink([](const DialUpStatus& st) {
            std::fprintf(stderr, "\r%s  %3d s  %s", st.phone.c_str(), st.elapsed,
                         st.status.c_str());
            std::fflush(stderr);
        });
        const bool ok = dial.run();
        std::fprintf(stderr, "\n");
        return ok;
    });

    s->prompter_ = &prompter;
    s->messages_ = &messages;
    s->session_ = std::make_unique<COnlineModule>(
        OnlineContext{s->settings_, *s->com_, *s->protocol_, prompter, messages, s->clock_});
    return s;
}

} // namespace dlu
