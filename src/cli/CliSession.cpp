#include "cli/CliSession.h"

#include "cli/FileFrameTrace.h"
#include "cli/TerminalPrompter.h"
#include "comm/DialUpSequence.h"
#include "common/StringTable.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/EmbeddedSimulator.h"
#include "sim/PlcSimulator.h"

#ifdef DLU_CLI_WITH_QT
#include "app/settings/QtSettingsStore.h"
#include "comm/channels/QtChannelFactory.h"
#include "comm/channels/QtSerialPorts.h"
#include "common/AppSettings.h"

#include <QString>
#endif

#include <cstdio>

namespace dlu {

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
        s->simulator_ = sim::makeEmbeddedSimulator(uri->query, embeddedLabel, error);
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
