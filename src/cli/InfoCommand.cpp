#include "cli/InfoCommand.h"

#include "cli/CliSession.h"
#include "common/MessageIds.h"
#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/PackageReading.h"
#include "plc/CpuTypeTable.h"

#include <cstdint>
#include <ostream>

namespace dlu {

namespace {

constexpr std::string_view kCpuTypeLabel = "CPU Type :";

// Columns on a terminal: Hangul and other wide characters take two.
std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = c;
        std::size_t len = 1;
        if (c >= 0xF0) {
            len = 4;
        } else if (c >= 0xE0) {
            len = 3;
            if (i + 2 < text.size()) {
                cp = ((c & 0x0Fu) << 12) |
                     ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                     (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            }
        } else if (c >= 0xC0) {
            len = 2;
        }
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFF00 && cp <= 0xFF60) || len == 4;
        width += wide ? 2 : 1;
        i += len;
    }
    return width;
}

std::string pad(std::string_view text, std::size_t width) {
    std::string out(text);
    const std::size_t w = displayWidth(text);
    if (w < width) {
        out.append(width - w, ' ');
    }
    return out;
}

// JSON string; bytes that are not UTF-8 (names are taken from the package as they are) are
// written as the Latin-1 characters of the same value, so that the output is always valid.
std::string jsonString(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
        }
        bool valid = len > 0 && i + len <= s.size();
        for (std::size_t k = 1; valid && k < len; ++k) {
            valid = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        }
        if (valid) {
            out.append(s.substr(i, len));
            i += len - 1;
            continue;
        }
        static constexpr char kHex[] = "0123456789abcdef";
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

} // namespace

std::string infoText(const PackageContents& contents, const Messages& messages) {
    const ProjectInfo& info = contents.info;
    std::string out;
    const auto line = [&out](std::string_view label, std::string_view value) {
        out.append(label).append(" ").append(value).append("\n");
    };
    line(messages(Msg::ProjectName), info.projectName());
    line(kCpuTypeLabel, std::to_string(info.cpuType()) + " (" +
                            std::string(CpuTypeTable::displayName(info.cpuType())) + ")");
    line(messages(Msg::ProjectSize), formatProjectSize(contents.projectSize));
    line(messages(Msg::ProgramCount),
         formatProgramCount(static_cast<unsigned>(info.programCount())));
    out += "\n";

    const auto rows = programListRows(info, contents.st, messages);
    std::size_t nameWidth = displayWidth(messages(Msg::ProgramColumns + 2));
    for (const auto& r : rows) {
        nameWidth = std::max(nameWidth, displayWidth(r.name));
    }
    out += pad(messages(Msg::ProgramColumns), 5) + "  " +
           pad(messages(Msg::ProgramColumns + 1), 6) + "  " +
           pad(messages(Msg::ProgramColumns + 2), nameWidth) + "  " +
           std::string(messages(Msg::ProgramColumns + 3)) + "\n";
    for (const auto& r : rows) {
        out += pad(r.rowText(), 5) + "  " + pad(r.pidText(), 6) + "  " + pad(r.name, nameWidth) +
               "  " + r.kindName + "\n";
    }
    return out;
}

std::string infoJson(const PackageContents& contents, const Messages& messages) {
    const ProjectInfo& info = contents.info;
    std::string out = "{\n";
    out += "  \"project\": " + jsonString(info.projectName()) + ",\n";
    out += "  \"cpu_type\": " + std::to_string(info.cpuType()) + ",\n";
    out += "  \"cpu_name\": " + jsonString(CpuTypeTable::displayName(info.cpuType())) + ",\n";
    out += "  \"size\": " + std::to_string(contents.projectSize) + ",\n";
    std::string programs;
    std::string st;
    for (const auto& r : programListRows(info, contents.st, messages)) {
        if (r.st) {
            st += std::string(st.empty() ? "" : ",\n") +
                  "    {\"number\": " + std::to_string(r.pid) +
                  ", \"name\": " + jsonString(r.name) + "}";
        } else {
            programs += std::string(programs.empty() ? "" : ",\n") +
                        "    {\"no\": " + std::to_string(r.rowNumber) +
                        ", \"pid\": " + std::to_string(r.pid) +
                        ", \"name\": " + jsonString(r.name) +
                        ", \"kind\": " + std::to_string(r.kind) +
                        ", \"kind_name\": " + jsonString(r.kindName) + "}";
        }
    }
    out += "  \"programs\": [" + (programs.empty() ? "" : "\n" + programs + "\n  ") + "],\n";
    out += "  \"st_programs\": [" + (st.empty() ? "" : "\n" + st + "\n  ") + "]\n";
    return out + "}\n";
}

int runInfo(const InfoOptions& options, Prompter& prompter, const Messages& messages,
            std::ostream& out) {
    CFileEncryption encryption(prompter, messages);
    CFileControl reader(prompter, messages);
    sayWhyUnreadable(options.package);
    const auto contents = readPackage(options.package, reader, encryption);
    if (!contents) {
        return kExitNotAPackage; // message 400 has been shown
    }
    out << (options.json ? infoJson(*contents, messages) : infoText(*contents, messages));
    return kExitOk;
}

} // namespace dlu
