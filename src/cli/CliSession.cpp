#include "cli/CliSession.h"

#include "cli/ConnectionUri.h"
#include "cli/FileFrameTrace.h"
#include "cli/RequestLog.h"
#include "cli/TerminalPrompter.h"
#include "common/FileTarget.h"
#include "common/TerminalText.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/EmbeddedSimulator.h"
#include "sim/PlcSimulator.h"

#ifdef DLU_CLI_WITH_QT
#include "app/settings/QtSettingsStore.h"
#include "comm/channels/QtChannelFactory.h"
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace dlu {

namespace {

// The connection of --conn, or the stored one of the desktop program; --timeout and --retry
// replace the connection's own.
std::optional<ConnectionDescription> connectionSpec(const ConnectionOptions& options,
                                                    std::string& error) {
    std::optional<ConnectionDescription> spec;
    if (!options.conn.empty()) {
        spec = ConnectionUri::parse(options.conn, error);
    } else {
#ifdef DLU_CLI_WITH_QT
        QtSettingsStore store;
        CommSet stored;
        stored.load(store);
        spec = ConnectionDescription::fromCommSet(stored);
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
// With --verbose, a USB-serial adapter whose latency timer could not be lowered says so once.
std::unique_ptr<ChannelFactory> systemChannels(bool verbose, std::string& error) {
#ifdef DLU_CLI_WITH_QT
    (void)error;
    AdapterLatency::Notice notice;
    if (verbose) {
        notice = [](const std::string& text) {
            std::fprintf(stderr, "dlutil: %s\n", displaySafe(text).c_str());
        };
    }
    return std::make_unique<QtChannelFactory>(
        systemSerialPorts, std::make_shared<AdapterLatency>(systemSerialLatencyDriver(), notice));
#else
    (void)verbose;
    error = "this dlutil was built without Qt: only --conn embedded works";
    return nullptr;
#endif
}

void printDialUpStatus(const DialUpStatus& st) {
    // The status is the modem's own text.
    std::fprintf(stderr, "\r%s  %3d s  %s", displaySafe(st.phone).c_str(), st.elapsed,
                 displaySafe(st.status).c_str());
    std::fflush(stderr);
}

} // namespace

std::string unreadableReason(const std::string& file) {
    std::string why;
    const int fd = openRegularForReading(file, why);
    if (fd < 0) {
        return why;
    }
    ::close(fd);
    return {};
}

void sayWhyUnreadable(const std::string& file) {
    if (const auto reason = unreadableReason(file); !reason.empty()) {
        std::fprintf(stderr, "dlutil: cannot read %s: %s\n", displaySafe(file).c_str(),
                     reason.c_str());
    }
}

std::string unwritableReason(const std::string& file) {
    // Only a regular file is ever replaced; a device node, a named pipe, a link or a folder
    // at the name stays what it is.
    if (const auto kind = nonRegularTarget(file); !kind.empty()) {
        return "it is " + kind + ", not a regular file";
    }
    std::filesystem::path parent = std::filesystem::path(file).parent_path();
    if (parent.empty()) {
        parent = std::filesystem::path(".");
    }
    const std::string folder = parent.native();
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        return std::strerror(ENOTDIR);
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        return std::strerror(errno);
    }
    return {};
}

CliSession::~CliSession() = default;

std::unique_ptr<CliSession> CliSession::open(const ConnectionOptions& options,
                                             TerminalPrompter& prompter, const Messages& messages,
                                             std::string_view embeddedLabel, std::string& error) {
    const std::optional<ConnectionDescription> spec = connectionSpec(options, error);
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
    } else if (!(s->factory_ = systemChannels(options.verbose, error))) {
        return nullptr;
    }
    s->traces_ = std::make_unique<FrameTraces>();
    if (!options.trace.empty()) {
        s->trace_ = std::make_unique<FileFrameTrace>(options.trace, spec->connectionType());
        if (!s->trace_->ok()) {
            error = "cannot write the trace file " + options.trace + ": " + s->trace_->error();
            return nullptr;
        }
        s->traces_->add(s->trace_.get());
    }
    if (options.verbose) {
        s->requestLog_ = std::make_unique<RequestLog>(stderr, isatty(fileno(stderr)) != 0);
        s->traces_->add(s->requestLog_.get());
    }
    s->connection_ =
        std::make_unique<Connection>(*spec, *s->factory_, prompter, messages, s->clock_,
                                     s->traces_->empty() ? nullptr : s->traces_->single());
    s->connection_->setDialUpStatusSink(printDialUpStatus);
    if (options.verbose) {
        s->connection_->session().setConnectStatusSink([](std::string_view text) {
            if (!text.empty()) {
                std::fprintf(stderr, "%s\n", displaySafe(text).c_str());
            }
        });
    }
    s->connection_->setDialUpDoneSink([](bool) { std::fprintf(stderr, "\n"); });
    return s;
}

} // namespace dlu
