#include "comm/FailureCause.h"

#include <cerrno>
#include <cstring>

namespace dlu {

std::string systemErrorCause(int e, std::string_view target) {
    const std::string t(target);
    switch (e) {
    case ECONNREFUSED:
        return "connection refused by " + t;
    case EHOSTUNREACH:
    case ENETUNREACH:
        return "no route to host " + t;
    case ETIMEDOUT:
        return "no answer from " + t + " to the connection request";
    case ECONNRESET:
    case EPIPE:
        return "the connection was closed by " + t;
    case EACCES:
    case EPERM:
        // Serial devices belong to group dialout on Debian.
        return "permission denied on " + t +
               (t.starts_with("/dev/") ? ": the user is not in group dialout" : "");
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return t + " does not exist";
    case EBUSY:
        return t + " is in use by another program";
    case 0:
        return {};
    default:
        break;
    }
    return std::string(std::strerror(e)) + " (" + t + ")";
}

std::string unresolvedHostCause(std::string_view hostName) {
    return "host name " + std::string(hostName) + " not found";
}

std::string silentPeerCause(std::string_view target, int tests, std::int64_t timeoutMillis) {
    std::string wait = timeoutMillis % 1000 == 0 ? std::to_string(timeoutMillis / 1000) + " s"
                                                 : std::to_string(timeoutMillis) + " ms";
    return "no answer from " + std::string(target) + " to " + std::to_string(tests) +
           (tests == 1 ? " protocol test of " : " protocol tests of ") + wait;
}

std::string connectingText(std::string_view target, int attempt, int attempts) {
    return "Connecting to " + std::string(target) + " (attempt " + std::to_string(attempt) +
           " of " + std::to_string(attempts) + ")";
}

std::string tcpTarget(std::uint32_t a, std::uint16_t port) {
    return std::to_string(a >> 24) + '.' + std::to_string((a >> 16) & 0xFF) + '.' +
           std::to_string((a >> 8) & 0xFF) + '.' + std::to_string(a & 0xFF) + ':' +
           std::to_string(port);
}

} // namespace dlu
