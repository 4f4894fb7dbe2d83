#pragma once

// A download engine wired to the in-process simulator, with a record of every 'D' request the
// simulated PLC received and of the Tx delays waited before it.
#include "PackageBuilder.h"
#include "download/DownloadSequence.h"
#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/PackageReading.h"
#include "support/SimSession.h"

#include "../package/PackageTestUtil.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace dlu::test {

// One 'D' request as it arrived: values are absent for the PBT, which carries none.
struct WireRecord {
    char kind = 0;
    unsigned id = 0;
    std::optional<unsigned> value1;
    std::optional<unsigned> value2;
    Bytes data;
    std::size_t sleepsBefore = 0; // clock sleeps since the previous 'D' request

    bool operator==(const WireRecord& o) const {
        return kind == o.kind && id == o.id && value1 == o.value1 && value2 == o.value2 &&
               data == o.data;
    }
};

inline std::string describe(const WireRecord& r) {
    char text[64];
    std::snprintf(text, sizeof text, "%c id %u v1 %d v2 %d (%zu bytes)", r.kind, r.id,
                  r.value1 ? static_cast<int>(*r.value1) : -1,
                  r.value2 ? static_cast<int>(*r.value2) : -1, r.data.size());
    return text;
}

// "kind id blocks bytes", one line per item: how dlutil lists what the PLC received.
inline std::string itemLine(char kind, unsigned id, unsigned blocks, std::size_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%c %3u %4u %7zu\n", kind, id, blocks, bytes);
    return text;
}

inline std::string receivedListing(const sim::PlcSimulator& plc) {
    std::string out;
    for (const auto& item : plc.downloadItems()) {
        out +=
            itemLine(static_cast<char>(item.kind), item.id, item.blockCount, item.bytes().size());
    }
    return out;
}

struct DownloadRig : SimSession<> {
    explicit DownloadRig(sim::PlcConfig config = {}, sim::FaultConfig faults = {})
        : SimSession(config, faults), reader(prompter, messages) {
        plc.setFrameLog([this](bool sent, std::span<const std::uint8_t> frame) {
            if (!sent) {
                onRequest(frame);
            }
        });
    }

    OnlineContext context() { return connection.context(); }

    // The job the main dialog hands over after reading the package the user picked.
    DownloadJob job(const std::string& path) {
        CFileEncryption encryption(prompter, messages);
        CFileControl dialogReader(prompter, messages);
        DownloadJob j;
        j.packagePath = path;
        if (const auto contents = readPackage(path, dialogReader, encryption)) {
            j.projectCpuType = contents->info.cpuType();
            j.stTable = contents->st;
        }
        return j;
    }

    std::string text(int id) const { return std::string(messages(id)); }

    std::vector<WireRecord> records;
    std::vector<std::uint8_t> commands; // every request's command byte, in order

    CFileControl reader;
    TempDir dir;

private:
    static unsigned be16(std::span<const std::uint8_t> b, std::size_t at) {
        return static_cast<unsigned>((b[at] << 8) | b[at + 1]);
    }

    void onRequest(std::span<const std::uint8_t> frame) {
        const std::uint8_t command = frame[2];
        commands.push_back(command);
        if (command != 'D') {
            return;
        }
        // Every request of these rigs carries the station header (the PLC takes it).
        const auto body = frame.subspan(5 + 3, be16(frame, 3) - 3);
        WireRecord r;
        r.kind = static_cast<char>(body[0]);
        std::size_t at = 0;
        if (r.kind == 'B') {
            r.id = body[1];
            at = 2;
        } else {
            r.id = r.kind == 'P' ? 0 : body[1];
            r.value1 = be16(body, 2);
            r.value2 = be16(body, 4);
            at = 6;
        }
        const unsigned size = be16(body, at);
        r.data.assign(body.begin() + static_cast<long>(at + 2),
                      body.begin() + static_cast<long>(at + 2 + size));
        r.sleepsBefore = clock.sleeps().size() - sleepsSeen_;
        sleepsSeen_ = clock.sleeps().size();
        records.push_back(std::move(r));
    }

    std::size_t sleepsSeen_ = 0;
};

} // namespace dlu::test
