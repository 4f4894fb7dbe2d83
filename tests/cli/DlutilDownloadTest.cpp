// dlutil download run as a process: into its embedded simulator and into plcsim over TCP.
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace dlu {
namespace {

using test::ChildProcess;
using test::run;

const std::string kSamples = DLU_SAMPLES_DIR;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DlutilDownload, SampleIntoTheEmbeddedSimulator) {
    const auto r = run(DLUTIL_PATH, {"--lang", "en", "download", kSamples + "/Press.DWN", "--conn",
                                     "embedded", "--no-run"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "Download succeeded.")) << r.err;
    EXPECT_TRUE(contains(r.err, "-> No")) << "the Remote RUN question is answered by --no-run";
    // What the simulated PLC received: parameter, all 128 PBT entries, two programs.
    EXPECT_TRUE(contains(r.out, "   P   0      2     240\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "   B   0..127 128    8192")) << r.out;
    EXPECT_TRUE(contains(r.out, "   C   1      4     952\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "   C   3      1     100\n")) << r.out;
}

TEST(DlutilDownload, DemoPackagesAsTheReadmeRunsThem) {
    struct Case {
        const char* package;
        std::vector<const char*> received;
    };
    const Case cases[] = {
        {"Demo.DWN",
         {"   P   0      2     400\n", "   C   0      4     900\n", "   C   1      2     300\n",
          "   C   2      1     120\n"}},
        {"LinuxDemo.DWN",
         {"   C   0      7    1500\n", "   l 127      1     100\n", "   T   0      1      64\n",
          "   t   0      1       4\n"}},
    };
    for (const auto& c : cases) {
        const auto r = run(DLUTIL_PATH, {"--lang", "en", "--yes", "download",
                                         std::string(DLU_EXAMPLES_DIR) + "/" + c.package, "--conn",
                                         "embedded?mode=run"});
        EXPECT_EQ(r.code, 0) << c.package << "\n" << r.err;
        for (const char* line : c.received) {
            EXPECT_TRUE(contains(r.out, line)) << c.package << " lacks " << line << r.out;
        }
    }
}

TEST(DlutilDownload, RemoteRunPlcIsStoppedDownloadedAndRunAgain) {
    const auto store =
        std::filesystem::temp_directory_path() / ("dlutil-download-" + std::to_string(::getpid()));
    std::filesystem::remove_all(store);
    std::filesystem::create_directories(store);
    ChildProcess plcsim(PLCSIM_PATH, {"--port", "0", "--identity", "A-21", "--key", "remote",
                                      "--mode", "run", "--store", store.string()});
    const int port = test::listeningPort(plcsim.line());
    ASSERT_GT(port, 0);
    const std::string conn = "sim://127.0.0.1:" + std::to_string(port);

    const auto r = run(DLUTIL_PATH, {"--lang", "en", "--yes", "download",
                                     kSamples + "/Conveyor.DWN", "--conn", conn});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "Remote STOP")) << r.err;
    EXPECT_TRUE(contains(r.err, "Download succeeded.")) << r.err;
    EXPECT_TRUE(contains(r.err, "'Remote RUN'")) << r.err;

    const auto status = run(DLUTIL_PATH, {"--lang", "en", "status", "--conn", conn});
    EXPECT_TRUE(contains(status.out, "CPU mode       : REMOTE RUN")) << status.out;
    EXPECT_FALSE(std::filesystem::is_empty(store)) << "plcsim stored the items it received";
    std::filesystem::remove_all(store);
}

TEST(DlutilDownload, RefusalsAndExitCodes) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* inErr;
    };
    const Case cases[] = {
        // Not a package: message 400.
        {{"download", DLUTIL_PATH, "--conn", "embedded"}, 2, "Download File Error."},
        {{"download", "/no/such/file.DWN", "--conn", "embedded"}, 2, "Download File Error."},
        // The key switch at LOCAL: 661 asks to turn it; without a terminal that is Cancel.
        {{"download", kSamples + "/Press.DWN", "--conn", "embedded?key=local&mode=run"},
         1,
         "cannot be downloaded with current CPU mode"},
        // REMOTE RUN and --no: the PLC is left running and nothing is sent.
        {{"--no", "download", kSamples + "/Press.DWN", "--conn", "embedded?mode=run"}, 1, "-> No"},
        {{"download", kSamples + "/Press.DWN", "--run", "--no-run", "--conn", "embedded"}, 2, ""},
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
        EXPECT_TRUE(contains(r.err, c.inErr)) << shown << "\n" << r.err;
    }
}

} // namespace
} // namespace dlu
