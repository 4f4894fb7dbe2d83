// dlutil status run as a process, against plcsim over TCP and against its own embedded
// simulator.
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

namespace dlu {
namespace {

using test::ChildProcess;
using test::run;

TEST(DlutilStatus, ReadsAPlcsimOverTcp) {
    ChildProcess plcsim(PLCSIM_PATH, {"--port", "0", "--key", "remote", "--mode", "run"});
    const int port = test::listeningPort(plcsim.line());
    ASSERT_GT(port, 0);
    const auto r = run(DLUTIL_PATH, {"--lang", "en", "status", "--conn",
                                     "sim://127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("PLC CPU type   : A-21"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("CPU mode       : REMOTE RUN"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Station header : used"), std::string::npos) << r.out;
}

TEST(DlutilStatus, LockedPlcsimWithRightAndWrongPasswords) {
    ChildProcess plcsim(PLCSIM_PATH, {"--port", "0", "--password", "secret"});
    const int port = test::listeningPort(plcsim.line());
    ASSERT_GT(port, 0);
    const std::string conn = "sim://127.0.0.1:" + std::to_string(port);
    struct Case {
        std::vector<std::string> password; // options giving it
        std::vector<std::string> env;
        int code;
        const char* inErr;
    };
    const Case cases[] = {
        {{"--password", "secret"}, {}, 0, ""},
        {{}, {"DLUTIL_PASSWORD=secret"}, 0, ""},
        {{"--password", "Secret"}, {}, 1, "Invalid Password"},
        {{"--password", "secret"}, {"DLUTIL_PASSWORD=wrong"}, 0, ""}, // the option wins
        // No password and no terminal to ask on: says how to give one.
        {{}, {}, 1, "DLUTIL_PASSWORD"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--lang", "en"};
        args.insert(args.end(), c.password.begin(), c.password.end());
        args.insert(args.end(), {"status", "--conn", conn});
        const auto r = run(DLUTIL_PATH, args, c.env);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
        if (c.code == 0) {
            EXPECT_NE(r.out.find("CPU mode       : REMOTE STOP"), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.out.find("CPU mode"), std::string::npos) << r.out;
        }
    }
}

TEST(DlutilStatus, ExitCodesAndMessages) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* inOut; // expected in standard output ("" for none)
        const char* inErr; // expected in standard error
    };
    const Case cases[] = {
        {{"status", "--conn", "embedded"}, 0, "CPU mode       : REMOTE STOP", ""},
        {{"status", "--conn", "embedded?identity=A-01&key=local&mode=run"},
         0,
         "CPU mode       : LOCAL RUN",
         ""},
        // A project type that the PLC refuses: the PLC's message, exit 1.
        {{"status", "--cpu", "A-22", "--conn", "embedded?identity=A-21"},
         1,
         "",
         "The CPU Type of PLC and project are not matched"},
        // A-01 warns about A-02 projects and goes on.
        {{"status", "--cpu", "A-02", "--conn", "embedded?identity=A-01"},
         0,
         "REMOTE STOP",
         "The CPU Type of PLC and project are not matched"},
        {{"status", "--conn", "tcp://127.0.0.1:1", "--timeout", "1"},
         1,
         "",
         "Failed to initialize the COM library module."},
        {{"status", "--conn", "nowhere"}, 2, "", "unknown connection"},
        {{"status", "--cpu", "Z-99", "--conn", "embedded"}, 2, "", "unknown CPU type"},
        {{"status", "--timeout", "0"}, 2, "", ""},
        {{"frobnicate"}, 2, "", ""},
    };
    for (const auto& c : cases) {
        auto args = c.args;
        args.insert(args.begin(), {"--lang", "en"});
        const auto r = run(DLUTIL_PATH, args);
        std::string shown;
        for (const auto& a : c.args) {
            shown += a + " ";
        }
        EXPECT_EQ(r.code, c.code) << shown << "\n" << r.err;
        EXPECT_NE(r.out.find(c.inOut), std::string::npos) << shown << "\n" << r.out;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << shown << "\n" << r.err;
    }
}

TEST(DlutilStatus, TraceWritesEveryFrame) {
    const std::string trace = ::testing::TempDir() + "/dlutil-trace.txt";
    std::remove(trace.c_str());
    const auto r =
        run(DLUTIL_PATH, {"--lang", "en", "--trace", trace, "status", "--conn", "embedded"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto t = run("/bin/cat", {trace});
    // Protocol test, identity read, password question, status read: four each way.
    int sent = 0;
    for (std::size_t at = t.out.find(">> 05 64"); at != std::string::npos;
         at = t.out.find(">> 05 64", at + 1)) {
        ++sent;
    }
    EXPECT_EQ(sent, 4) << t.out;
    EXPECT_NE(t.out.find(">> 05 64 74 00 07"), std::string::npos) << "the protocol test";
}

} // namespace
} // namespace dlu
