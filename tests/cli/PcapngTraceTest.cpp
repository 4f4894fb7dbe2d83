// dlutil --trace FILE.pcapng run as a process: the capture is read back here with a reader of
// this test's own, block by block, as Wireshark would read it.
#include "support/ChildProcess.h"

#include "PackageTestUtil.h"

#include "cli/FileFrameTrace.h"
#include "comm/PasswordCipher.h"
#include "common/Crypto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace dlu {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t le16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

struct Packet {
    std::uint64_t micros = 0;
    Bytes data; // our 4-byte header and the frame
};

// The packets of a capture of one section with one interface, or nothing with `error` set
// when a block is not where or what it should be.
std::optional<std::vector<Packet>> readCapture(const Bytes& file, std::string& error) {
    std::vector<Packet> packets;
    std::size_t at = 0;
    int sections = 0;
    int interfaces = 0;
    while (at < file.size()) {
        if (file.size() - at < 12) {
            error = "a block cut short at " + std::to_string(at);
            return std::nullopt;
        }
        const std::uint32_t type = le32(file, at);
        const std::uint32_t total = le32(file, at + 4);
        if (total % 4 != 0 || total < 12 || total > file.size() - at) {
            error = "block length " + std::to_string(total) + " at " + std::to_string(at);
            return std::nullopt;
        }
        if (le32(file, at + total - 4) != total) {
            error = "the trailing length differs at " + std::to_string(at);
            return std::nullopt;
        }
        const std::size_t body = at + 8;
        const std::size_t bodySize = total - 12;
        if (at == 0 && type != 0x0A0D0D0A) {
            error = "the file does not start with a section header";
            return std::nullopt;
        }
        if (type == 0x0A0D0D0A) {
            if (bodySize < 16 || le32(file, body) != 0x1A2B3C4D || le16(file, body + 4) != 1 ||
                le16(file, body + 6) != 0) {
                error = "a section header that is not little-endian pcapng 1.0";
                return std::nullopt;
            }
            ++sections;
        } else if (type == 1) {
            const std::uint32_t snap = bodySize >= 8 ? le32(file, body + 4) : 1;
            if (bodySize < 8 || le16(file, body) != 147 || (snap != 0 && snap != 65535)) {
                error = "an interface that is not USER0 without a snap length";
                return std::nullopt;
            }
            ++interfaces;
        } else if (type == 6) {
            if (interfaces != 1 || bodySize < 20) {
                error = "a packet before its interface or too short";
                return std::nullopt;
            }
            const std::uint32_t captured = le32(file, body + 12);
            const std::uint32_t original = le32(file, body + 16);
            // The packet bytes fill the body up to less than 4 bytes of padding.
            if (captured != original || captured > bodySize - 20 || bodySize - 20 - captured >= 4) {
                error = "packet lengths do not fit the block at " + std::to_string(at);
                return std::nullopt;
            }
            Packet p;
            p.micros =
                static_cast<std::uint64_t>(le32(file, body + 4)) << 32 | le32(file, body + 8);
            p.data.assign(file.begin() + static_cast<std::ptrdiff_t>(body + 20),
                          file.begin() + static_cast<std::ptrdiff_t>(body + 20 + captured));
            packets.push_back(std::move(p));
        } else {
            error = "unexpected block type " + std::to_string(type);
            return std::nullopt;
        }
        at += total;
    }
    if (sections != 1 || interfaces != 1) {
        error = "not one section with one interface";
        return std::nullopt;
    }
    return packets;
}

bool holds(const Bytes& data, const Bytes& part) {
    return std::search(data.begin(), data.end(), part.begin(), part.end()) != data.end();
}

// Every trace of a run is a capture whose packets are the run's frames, one each, in turn to
// the PLC and from it, each behind our header and starting with a whole loader frame.
TEST(DlutilPcapngTrace, EveryFrameIsOnePacketOfACapture) {
    test::TempDir dir;
    const std::string demo = std::string(DLU_EXAMPLES_DIR) + "/LinuxDemo.DWN";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::size_t minPackets;
    };
    const Case cases[] = {
        {"status.pcapng", {"status", "--conn", "embedded"}, 2},
        {"download.PcapNG", {"--yes", "download", demo, "--conn", "embedded"}, 20},
        {"locked.pcapng",
         {"--password", "secret", "status", "--conn", "embedded?password=secret"},
         4},
    };
    const std::uint64_t since =
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count());
    for (const auto& c : cases) {
        const std::string trace = dir.file(c.name);
        std::vector<std::string> args{"--lang", "en", "--trace", trace};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = test::run(DLUTIL_PATH, args, {});
        ASSERT_EQ(r.code, 0) << c.name << r.err;
        std::string error;
        const auto packets = readCapture(readAll(trace), error);
        ASSERT_TRUE(packets.has_value()) << c.name << ": " << error;
        EXPECT_GE(packets->size(), c.minPackets) << c.name;
        for (std::size_t i = 0; i < packets->size(); ++i) {
            const Bytes& p = (*packets)[i].data;
            ASSERT_GE(p.size(), 4u + 5u) << c.name << " packet " << i;
            EXPECT_EQ(p[0], 0x4C) << c.name << " packet " << i;
            EXPECT_EQ(p[1], 1) << c.name << " packet " << i;
            EXPECT_EQ(p[2], i % 2) << c.name << " packet " << i << ": 0 to the PLC, 1 from it";
            EXPECT_EQ(p[3], 4) << c.name << " packet " << i << ": the embedded PLC is a simulator";
            EXPECT_EQ(p[4], 0x05) << c.name << " packet " << i;
            EXPECT_EQ(p[5], 0x64) << c.name << " packet " << i;
            const std::size_t length = static_cast<std::size_t>(p[7] << 8 | p[8]);
            // The answer to a link test is read as its head only ('t', length 5).
            const bool headOnly = p[2] == 1 && p[6] == 0x74 && p.size() == 4u + 5u;
            if (!headOnly) {
                EXPECT_EQ(p.size(), 4u + 5u + length + 2u) << c.name << " packet " << i;
            }
            EXPECT_GE((*packets)[i].micros, since) << c.name << " packet " << i;
        }
    }
}

// A locked PLC logged in to with a pcapng trace: neither the password nor a block made from
// it is in the capture, and the masked bytes stand where they were.
TEST(DlutilPcapngTrace, NoPasswordInTheCapture) {
    test::TempDir dir;
    const std::string secret = "secret";
    const auto crypto = Crypto::open();
    const PasswordCipher cipher(crypto.get());
    std::vector<Bytes> patterns{Bytes(secret.begin(), secret.end())};
    for (const auto& block : {cipher.encrypt(secret), cipher.encryptOld(secret)}) {
        ASSERT_TRUE(block.has_value());
        patterns.emplace_back(block->begin() + 2, block->begin() + 10);
    }
    const std::string trace = dir.file("locked.pcapng");
    const auto r = test::run(DLUTIL_PATH,
                             {"--lang", "en", "--password", secret, "--trace", trace, "status",
                              "--conn", "embedded?password=" + secret},
                             {});
    ASSERT_EQ(r.code, 0) << r.err;
    const Bytes file = readAll(trace);
    std::string error;
    const auto packets = readCapture(file, error);
    ASSERT_TRUE(packets.has_value()) << error;
    for (const auto& p : patterns) {
        EXPECT_FALSE(holds(file, p)) << std::string(p.begin(), p.end());
    }
    const Bytes masked(4, 0x2A);
    EXPECT_TRUE(std::any_of(packets->begin(), packets->end(), [&](const Packet& p) {
        return holds(p.data, masked);
    })) << "no masked bytes in any packet";
}

// The name chooses the format: ".pcapng" in any letter case at its end, and nothing else.
TEST(DlutilPcapngTrace, TheNameEndingChoosesTheFormat) {
    using F = FileFrameTrace::Format;
    const std::pair<const char*, F> cases[] = {
        {"trace.pcapng", F::Pcapng},    {"/tmp/x/T.PCAPNG", F::Pcapng}, {"a.PcapNg", F::Pcapng},
        {".pcapng", F::Pcapng},         {"trace.txt", F::Lines},        {"trace.pcap", F::Lines},
        {"trace.pcapng.txt", F::Lines}, {"pcapng", F::Lines},           {"-", F::Lines},
        {"trace.pcapngx", F::Lines},
    };
    for (const auto& [name, format] : cases) {
        EXPECT_EQ(FileFrameTrace::formatFor(name), format) << name;
    }
}

} // namespace
} // namespace dlu
