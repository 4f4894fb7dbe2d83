#include "package/ProjectInfo.h"

#include "package/FileIo.h"

#include <algorithm>
#include <cctype>

namespace dlu {

namespace {

constexpr std::string_view kSection = "BELKO_PLC";
constexpr std::string_view kKey = "PROJECT_INFO";
// INI files of a package are small; a bigger one is not ours.
constexpr std::size_t kMaxIniSize = 1 << 20;

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::string_view zeroTerminated(const char* text, std::size_t max) {
    const char* end = std::find(text, text + max, '\0');
    return {text, static_cast<std::size_t>(end - text)};
}

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Section and key names of private-profile files compare without regard to letter case.
bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The value of key `key` in section `section`: the first one, as the profile reader finds it.
std::optional<std::string_view> findValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
    bool inSection = false;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        line = trim(line);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            inSection = close != std::string_view::npos &&
                        equalsNoCase(trim(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection) {
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && equalsNoCase(trim(line.substr(0, eq)), key)) {
            return trim(line.substr(eq + 1));
        }
    }
    return std::nullopt;
}

} // namespace

std::string_view ProgramEntry::nameText() const { return zeroTerminated(name.data(), name.size()); }

ProgramEntry ProgramEntry::decode(std::span<const std::uint8_t, kSize> bytes) {
    ProgramEntry e;
    e.presence =
        static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
        (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    e.pid = le16(bytes, 4);
    std::transform(bytes.begin() + 6, bytes.begin() + 6 + kNameSize, e.name.begin(),
                   [](std::uint8_t b) { return static_cast<char>(b); });
    e.kind = le16(bytes, 38);
    return e;
}

std::string_view ProjectInfo::projectName() const {
    return zeroTerminated(reinterpret_cast<const char*>(record_.data()), 32);
}

CpuType ProjectInfo::cpuType() const { return le16(record_, 32); }

std::uint16_t ProjectInfo::storedProgramCount() const { return le16(record_, 34); }

std::size_t ProjectInfo::programCount() const {
    return std::min<std::size_t>(storedProgramCount(), kMaxPrograms);
}

ProgramEntry ProjectInfo::program(std::size_t i) const {
    if (i >= kMaxPrograms) {
        return {};
    }
    const auto bytes = std::span(record_)
                           .subspan(kProgramListOffset + i * ProgramEntry::kSize)
                           .first<ProgramEntry::kSize>();
    return ProgramEntry::decode(bytes);
}

bool ProjectInfo::isZero() const {
    return std::all_of(record_.begin(), record_.end(), [](std::uint8_t b) { return b == 0; });
}

std::optional<ProjectInfo::Record> parseProjectInfoIni(std::string_view iniText) {
    const auto value = findValue(iniText, kSection, kKey);
    if (!value || value->size() != 2 * (ProjectInfo::kRecordSize + 1)) {
        return std::nullopt;
    }
    ProjectInfo::Record record{};
    unsigned sum = 0;
    for (std::size_t i = 0; i <= ProjectInfo::kRecordSize; ++i) {
        const int hi = hexDigit((*value)[2 * i]);
        const int lo = hexDigit((*value)[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        const auto byte = static_cast<std::uint8_t>(hi * 16 + lo);
        if (i == ProjectInfo::kRecordSize) {
            if (byte != (sum & 0xFFu)) {
                return std::nullopt;
            }
            break;
        }
        record[i] = byte;
        sum += byte;
    }
    return record;
}

ProjectInfo readProjectInfo(const std::string& iniPath) {
    const auto bytes = fileio::readAll(iniPath, kMaxIniSize);
    if (!bytes) {
        return {};
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    if (const auto record = parseProjectInfoIni(text)) {
        return ProjectInfo(*record);
    }
    return {};
}

} // namespace dlu
