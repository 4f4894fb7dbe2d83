#include "cli/CliSession.h"

#include "cli/ConnectionUri.h"
#include "cli/FileFrameTrace.h"
#include "cli/TerminalPrompter.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/EmbeddedSimulator.h"
#include "sim/PlcSimulator.h"

#ifdef DLU_CLI_WITH_QT
#include "app/settings/QtSettingsStore.h"
#include "comm/channels/QtChannelFactory.h"
#endif

#include <cstdio>

namespace dlu {

namespace {

// The connection of --conn, or the stored one of the desktop program; --timeout and --retry
// replace the connection's own.
std::optional<ConnectionSpec> connectionSpec(const ConnectionOptions& options, std::string& error) {
    std::optional<ConnectionSpec> spec;
    if (!options.conn.empty()) {
        spec = ConnectionUri::parse(options.conn, error);
    } else {
#ifdef DLU_CLI_WITH_QT
        QtSettingsStore store;
        CommSet stored;
        stored.load(store);
        spec = ConnectionSpec::fromCommSet(stored);
#else
        error = "no connection given (--conn)";
#endif
    }
    if (spec && options.timeout) {
        spec->timeoutSeconds = static_cast<std::uint16_t>(*options.timeout);
    }
    if (spec && options.retry) {
        spec->attempts = static_cast<std::uint8_t>(*options.retry);
    }
    return spec;
}

// The channels of this computer's serial ports, network and USB.
std::unique_ptr<ChannelFactory> systemChannels(std::string& error) {
#ifdef DLU_CLI_WITH_QT
    (void)error;
    return std::make_unique<QtChannelFactory>();
#else
    error = "this dlutil was built without Qt: only --conn embedded works";
    return nullptr;
#endif
}

void printDialUpStatus(const DialUpStatus& st) {
    std::fprintf(stderr, "\r%s  %3d s  %s", st.phone.c_str(), st.elapsed, st.status.c_str());
    std::fflush(stderr);
}

} // namespace

CliSession::~CliSession() = default;

std::unique_ptr<CliSession> CliSession::open(const ConnectionOptions& options,
                                             TerminalPrompter& prompter, const Messages& messages,
                                             std::string_view embeddedLabel, std::string& error) {
    const std::optional<ConnectionSpec> spec = connectionSpec(options, error);
    if (!spec) {
        return nullptr;
    }
    std::unique_ptr<CliSession> s(new CliSession());
    if (const auto* embedded = std::get_if<EmbeddedLink>(&spec->link)) {
        s->simulator_ = sim::makeEmbeddedSimulator(embedded->options, embeddedLabel, error);
        if (!s->simulator_) {
            return nullptr;
        }
        s->factory_ = std::make_unique<sim::EmbeddedChannelFactory>(*s->simulator_);
    } else if (!(s->factory_ = systemChannels(error))) {
        return nullptr;
    }
    if (!options.trace.empty()) {
        s->trace_ = std::make_unique<FileFrameTrace>(options.trace);
        if (!s->trace_->ok()) {
            error = "cannot write the trace file " + options.trace;
            return nullptr;
        }
    }
    s->connection_ = std::make_unique<Connection>(*spec, *s->factory_, prompter, messages,
                                                  s->clock_, s->trace_.get());
    s->connection_->setDialUpStatusSink(printDialUpStatus);
    s->connection_->setDialUpDoneSink([](bool) { std::fprintf(stderr, "\n"); });
    return s;
}

} // namespace dlu
