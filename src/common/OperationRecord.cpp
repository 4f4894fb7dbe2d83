#include "common/OperationRecord.h"

#include "common/TerminalText.h"
#include "common/Version.h"

#include <openssl/evp.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dlu {

namespace {

std::string systemError(int error) { return std::strerror(error); }

const char* resultName(OperationResult result) {
    switch (result) {
    case OperationResult::Ok:
        return "ok";
    case OperationResult::Cancelled:
        return "cancelled";
    case OperationResult::Failed:
        break;
    }
    return "failed";
}

// Builds one object's members in order, leaving out what is empty.
class ObjectWriter {
public:
    void text(std::string_view key, std::string_view value) {
        if (!value.empty()) {
            raw(key, jsonQuoted(value));
        }
    }
    void number(std::string_view key, std::uint64_t value) { raw(key, std::to_string(value)); }
    void object(std::string_view key, const ObjectWriter& inner) {
        if (!inner.empty()) {
            raw(key, inner.str());
        }
    }
    void raw(std::string_view key, const std::string& json) {
        body_ += (body_.empty() ? "" : ",") + jsonQuoted(key) + ":" + json;
    }
    bool empty() const { return body_.empty(); }
    std::string str() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

// mkdir -p with mode 0700 for every folder it makes.
bool makeFolder(const std::filesystem::path& folder, std::string& reason) {
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) == 0 || errno == EEXIST) {
            continue;
        }
        reason = "cannot make " + partial.string() + ": " + systemError(errno);
        return false;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        reason = folder.string() + " is not a folder";
        return false;
    }
    return true;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

int openForAppend(const std::filesystem::path& file) {
    return ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// The whole lines of the last `bound` bytes of `file` (a first line cut by the bound is
// dropped). False, with `error` set, when the file exists but cannot be read.
bool readTail(const std::filesystem::path& file, std::uint64_t bound,
              std::vector<std::string>& lines, std::string& error) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            return true;
        }
        error = "cannot read " + file.string() + ": " + systemError(errno);
        return false;
    }
    FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot read " + file.string() + ": not a regular file";
        return false;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t start = size > bound ? size - bound : 0;
    std::string data(static_cast<std::size_t>(size - start), '\0');
    std::size_t got = 0;
    while (got < data.size()) {
        const ssize_t n =
            ::pread(fd, data.data() + got, data.size() - got, static_cast<off_t>(start + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = "cannot read " + file.string() + ": " + systemError(errno);
            return false;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    data.resize(got);
    std::size_t pos = 0;
    if (start > 0) {
        const auto first = data.find('\n');
        pos = first == std::string::npos ? data.size() : first + 1;
    }
    while (pos < data.size()) {
        auto end = data.find('\n', pos);
        if (end == std::string::npos) {
            end = data.size();
        }
        if (end > pos) {
            lines.emplace_back(data.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return true;
}

} // namespace

std::string isoUtcTime(std::chrono::system_clock::time_point time) {
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    gmtime_r(&t, &utc);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text.data();
}

std::string OperationRecord::toJson() const {
    ObjectWriter connection;
    connection.text("type", connectionType);
    connection.text("address", connectionAddress);
    ObjectWriter plc;
    plc.text("label", plcLabel);
    if (plcCpuCode) {
        plc.number("cpu", *plcCpuCode);
    }
    if (plcFirmware) {
        plc.number("firmware", *plcFirmware);
    }
    ObjectWriter fileInfo;
    fileInfo.text("path", filePath);
    if (fileSize) {
        fileInfo.number("size", *fileSize);
    }
    fileInfo.text("sha256", fileSha256);
    ObjectWriter project;
    project.text("name", projectName);
    project.text("cpu", projectCpu);

    std::array<char, 32> secondsText{};
    std::snprintf(secondsText.data(), secondsText.size(), "%.3f", seconds < 0 ? 0.0 : seconds);

    ObjectWriter out;
    out.text("time", isoUtcTime(time));
    out.text("program", program);
    out.text("version", version);
    out.text("host", host);
    out.text("user", user);
    out.text("operation", operation);
    out.object("connection", connection);
    out.object("plc", plc);
    out.object("file", fileInfo);
    out.object("project", project);
    out.number("items", items);
    out.number("bytes", bytes);
    out.text("result", resultName(result));
    out.text("message", message);
    out.raw("seconds", secondsText.data());
    return out.str();
}

void fillHostAndUser(OperationRecord& record) {
    std::array<char, 256> host{};
    if (::gethostname(host.data(), host.size() - 1) == 0) {
        record.host = host.data();
    }
    std::array<char, 1024> buffer{};
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
        record.user = found->pw_name;
    } else if (const char* name = std::getenv("USER")) {
        record.user = name;
    }
}

std::optional<std::string> sha256OfFile(const std::filesystem::path& path, std::uint64_t& size,
                                        std::string& reason, std::uint64_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason = systemError(errno);
        return std::nullopt;
    }
    FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = "not a regular file";
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        reason = "too large to hash";
        return std::nullopt;
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
        reason = "SHA-256 is not available";
        return std::nullopt;
    }
    std::array<unsigned char, 64 * 1024> block{};
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            reason = systemError(errno);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        total += static_cast<std::uint64_t>(n);
        if (total > maxBytes) {
            reason = "too large to hash";
            return std::nullopt;
        }
        if (EVP_DigestUpdate(ctx.get(), block.data(), static_cast<std::size_t>(n)) != 1) {
            reason = "SHA-256 failed";
            return std::nullopt;
        }
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) != 1 || length != 32) {
        reason = "SHA-256 failed";
        return std::nullopt;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xF];
    }
    size = total;
    return hex;
}

OperationLog::OperationLog(std::filesystem::path folder, std::uint64_t bound)
    : folder_(std::move(folder)), bound_(bound) {}

std::optional<std::filesystem::path> OperationLog::defaultFolder(std::string& reason) {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        return std::filesystem::path(state) / "download-utility";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return std::filesystem::path(home) / ".local" / "state" / "download-utility";
    }
    reason = "neither XDG_STATE_HOME nor HOME names a folder";
    return std::nullopt;
}

bool OperationLog::disabledByEnvironment() {
    const char* value = std::getenv("DLUTIL_NO_HISTORY");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

bool OperationLog::append(const OperationRecord& record, std::string& reason) const {
    if (!makeFolder(folder_, reason)) {
        return false;
    }
    const std::string line = record.toJson() + "\n";
    int fd = openForAppend(file());
    if (fd < 0) {
        reason = "cannot open " + file().string() + ": " + systemError(errno);
        return false;
    }
    FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = file().string() + " is not a regular file";
        return false;
    }
    if (st.st_size > 0 && static_cast<std::uint64_t>(st.st_size) + line.size() > bound_) {
        // Renamed only while the name is still the file we opened: a program that rotated it
        // a moment ago has already left a fresh one there.
        struct stat named {};
        if (::lstat(file().c_str(), &named) == 0 && named.st_ino == st.st_ino &&
            named.st_dev == st.st_dev) {
            if (::rename(file().c_str(), rotatedFile().c_str()) != 0) {
                reason = "cannot rename " + file().string() + ": " + systemError(errno);
                return false;
            }
        }
        ::close(fd);
        closer.fd = fd = openForAppend(file());
        if (fd < 0) {
            reason = "cannot open " + file().string() + ": " + systemError(errno);
            return false;
        }
    }
    ssize_t written = -1;
    do {
        written = ::write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        reason = "cannot write " + file().string() + ": " + systemError(errno);
        return false;
    }
    if (static_cast<std::size_t>(written) != line.size()) {
        reason = "cannot write " + file().string() + ": only " + std::to_string(written) + " of " +
                 std::to_string(line.size()) + " bytes written";
        return false;
    }
    return true;
}

OperationLog::Reading OperationLog::readLast(std::size_t count) const {
    Reading reading;
    std::vector<std::string> current;
    if (!readTail(file(), bound_, current, reading.error)) {
        return reading;
    }
    std::vector<std::string> lines;
    if (current.size() < count) {
        if (!readTail(rotatedFile(), bound_, lines, reading.error)) {
            return reading;
        }
    }
    lines.insert(lines.end(), current.begin(), current.end());
    const std::size_t first = lines.size() > count ? lines.size() - count : 0;
    for (std::size_t i = first; i < lines.size(); ++i) {
        auto value = lines[i].size() <= kMaxLine ? JsonValue::parse(lines[i]) : std::nullopt;
        if (!value || value->kind() != JsonValue::Kind::Object) {
            ++reading.damaged;
            continue;
        }
        reading.records.push_back(std::move(*value));
    }
    return reading;
}

bool recordOperation(OperationRecord record, std::string& reason) {
    if (OperationLog::disabledByEnvironment()) {
        return true;
    }
    fillHostAndUser(record);
    if (record.version.empty()) {
        record.version = kProjectVersion;
    }
    if (!record.filePath.empty()) {
        std::uint64_t size = 0;
        std::string why; // a file that cannot be hashed is still named
        if (auto sha = sha256OfFile(record.filePath, size, why)) {
            record.fileSha256 = std::move(*sha);
            record.fileSize = size;
        }
    }
    const auto folder = OperationLog::defaultFolder(reason);
    return folder && OperationLog(*folder).append(record, reason);
}

HistoryRow historyRow(const JsonValue& record) {
    std::string what = record.textAt({"project", "name"});
    if (what.empty()) {
        what = record.textAt({"file", "path"});
    }
    return {displaySafe(record.textAt({"time"})), displaySafe(record.textAt({"operation"})),
            displaySafe(record.textAt({"plc", "label"}, "-")),
            displaySafe(what.empty() ? "-" : what), displaySafe(record.textAt({"result"}))};
}

} // namespace dlu
