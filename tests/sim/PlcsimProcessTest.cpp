// Runs the built plcsim program and talks to it over loopback TCP with a plain socket.

#include "comm/TestFrames.h"
#include "package/PackageTestUtil.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace dlu {
namespace {

using test::loaderFrame;
using test::StationHeader;
using Bytes = std::vector<std::uint8_t>;

int connectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends a request on a socket or a terminal and reads exactly `expected` bytes back (fewer
// after 5 s).
Bytes exchange(int fd, const Bytes& request, std::size_t expected) {
    EXPECT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    Bytes answer(expected);
    std::size_t got = 0;
    while (got < expected) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) {
            break;
        }
        const ssize_t n = read(fd, answer.data() + got, expected - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    answer.resize(got);
    return answer;
}

TEST(PlcsimProgram, TcpRoundTripAndDownloadStore) {
    const test::TempDir store;
    test::ChildProcess plcsim(PLCSIM_PATH, {"--port", "0", "--identity", "A-05", "--firmware",
                                            "512", "--station", "7", "--store", store.path()});
    const std::string first = plcsim.line();
    const int port = test::listeningPort(first);
    ASSERT_GT(port, 0) << first;

    const int fd = connectTo(port);
    ASSERT_GE(fd, 0);
    const Bytes test = loaderFrame('t', StationHeader{7, 1}, {'T', 'E', 'S', 'T'});
    EXPECT_EQ(exchange(fd, test, 12), loaderFrame('t', StationHeader{7, 1}, {0, 0}));

    // A-05 (type 5): "F0080" at 0x00812800 + 16, "F1270" at 0x00812800 + 254.
    const Bytes read = loaderFrame('R', StationHeader{7, 2},
                                   {0x00, 0x81, 0x28, 0x10, 0x02, 0x00, 0x81, 0x28, 0xFE, 0x02});
    EXPECT_EQ(exchange(fd, read, 14),
              loaderFrame('R', StationHeader{7, 2}, {0x58, 0x10, 0x02, 0x00}));

    const Bytes item{'C', 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0xDE, 0xAD, 0xBE, 0xEF};
    EXPECT_EQ(exchange(fd, loaderFrame('D', StationHeader{7, 3}, item), 10),
              loaderFrame('D', StationHeader{7, 3}, {}));
    close(fd);

    EXPECT_EQ(plcsim.stop(), 0);
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(store.path())) {
        files.push_back(entry.path());
    }
    ASSERT_EQ(files.size(), 1U);
    std::ifstream in(files[0], std::ios::binary);
    const Bytes stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(stored, (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
}

TEST(PlcsimProgram, CloseAfterFaultEndsTheConnection) {
    test::ChildProcess plcsim(PLCSIM_PATH, {"--port", "0", "--close-after", "1"});
    const int port = test::listeningPort(plcsim.line());
    ASSERT_GT(port, 0);
    const int fd = connectTo(port);
    ASSERT_GE(fd, 0);
    const Bytes test = loaderFrame('t', StationHeader{0xFF, 1}, {'T', 'E', 'S', 'T'});
    EXPECT_EQ(exchange(fd, test, 12).size(), 12U);
    // The peer has closed: the next read ends with nothing.
    const Bytes again = loaderFrame(0x83, StationHeader{0xFF, 2}, {});
    EXPECT_TRUE(exchange(fd, again, 10).empty());
    close(fd);
    EXPECT_EQ(plcsim.stop(), 0);
}

} // namespace
} // namespace dlu
