// Runs the dlutil program itself on packages from the builder.
#include "MiniJson.h"
#include "PackageBuilder.h"
#include "PackageTestUtil.h"
#include "common/StringTable.h"
#include "package/ProjectListing.h"
#include "plc/CpuTypeTable.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#ifndef DLUTIL_PATH
#error "DLUTIL_PATH names the dlutil program"
#endif

namespace dlu {
namespace {

struct CommandRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CommandRun dlutil(const test::TempDir& dir, const std::string& args) {
    const std::string errFile = dir.file("stderr.txt");
    const std::string command =
        std::string("'") + DLUTIL_PATH + "' " + args + " 2>'" + errFile + "'";
    CommandRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto err = test::readFile(errFile);
    run.err.assign(err.begin(), err.end());
    std::remove(errFile.c_str());
    return run;
}

class DlutilInfo : public ::testing::Test {
protected:
    void SetUp() override {
        builder.project("Line1", 27)
            .program(0, "Main", 1)
            .program(42, "Cyclic", 5)
            .st(0, "Belt")
            .st(5, "Gate");
        package = dir.file("Line1.DWN");
        builder.write(package);
    }

    std::uint32_t expectedSize() const {
        std::uint32_t size = 0;
        for (const auto& [name, data] : builder.entries()) {
            if (name.find('/') == std::string::npos && !name.ends_with(".INI")) {
                size += static_cast<std::uint32_t>(data.size());
            }
        }
        return size;
    }

    test::TempDir dir;
    test::PackageBuilder builder;
    std::string package;
};

TEST_F(DlutilInfo, PrintsTheProjectInEnglishAndKorean) {
    for (const Language lang : {Language::English, Language::Korean}) {
        const Messages m(lang);
        const CommandRun run = dlutil(dir, "info '" + package + "' --lang " +
                                               (lang == Language::Korean ? "ko" : "en"));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::string cpuName(CpuTypeTable::displayName(27));
        for (const std::string& expected : {
                 std::string(m(510)) + " Line1\n",
                 "CPU Type : 27 (" + cpuName + ")\n",
                 std::string(m(511)) + " " + formatProjectSize(expectedSize()) + "\n",
                 std::string(m(512)) + " 2 Files\n",
                 std::string(m(452)),
                 std::string(m(644)),
                 std::string(m(648)),
                 std::string(m(698)),
             }) {
            EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
        }
        // Row order: programs, then ST programs with running numbers.
        std::vector<std::string> rows;
        std::istringstream lines(run.out);
        for (std::string l; std::getline(lines, l);) {
            std::istringstream words(l);
            std::string no;
            std::string pid;
            std::string name;
            words >> no >> pid >> name;
            rows.push_back(no + " " + pid + " " + name);
        }
        const std::vector<std::string> expectedRows = {"1 000 Main", "2 042 Cyclic", "3 ST000 Belt",
                                                       "4 ST005 Gate"};
        ASSERT_GE(rows.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(rows.end() - 4, rows.end()), expectedRows);
    }
    EXPECT_EQ(test::readFile(package), builder.package());
}

TEST_F(DlutilInfo, JsonHasEveryField) {
    const CommandRun run = dlutil(dir, "--lang en info --json '" + package + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const test::Json j = test::Json::parse(run.out);
    EXPECT_EQ(j["project"].text, "Line1");
    EXPECT_EQ(j["cpu_type"].integer(), 27);
    EXPECT_EQ(j["cpu_name"].text, CpuTypeTable::displayName(27));
    EXPECT_EQ(j["size"].integer(), expectedSize());
    ASSERT_EQ(j["programs"].items.size(), 2u);
    EXPECT_EQ(j["programs"][1]["no"].integer(), 2);
    EXPECT_EQ(j["programs"][1]["pid"].integer(), 42);
    EXPECT_EQ(j["programs"][1]["name"].text, "Cyclic");
    EXPECT_EQ(j["programs"][1]["kind"].integer(), 5);
    EXPECT_EQ(j["programs"][1]["kind_name"].text, "Periodical Interrupt");
    ASSERT_EQ(j["st_programs"].items.size(), 2u);
    EXPECT_EQ(j["st_programs"][1]["number"].integer(), 5);
    EXPECT_EQ(j["st_programs"][1]["name"].text, "Gate");
}

TEST_F(DlutilInfo, NotAPackageExitsWithTwo) {
    test::writeFile(dir.file("notes.DWN"), test::Bytes(100, 'x'));
    for (const std::string& file : {dir.file("notes.DWN"), dir.file("missing.DWN")}) {
        const CommandRun run = dlutil(dir, "info --lang en '" + file + "'");
        EXPECT_EQ(run.exitCode, 2) << file;
        EXPECT_EQ(run.err, std::string(Messages(Language::English)(400)) + "\n") << file;
        EXPECT_TRUE(run.out.empty());
    }
    const CommandRun korean = dlutil(dir, "info --lang ko '" + dir.file("notes.DWN") + "'");
    EXPECT_EQ(korean.err, std::string(Messages(Language::Korean)(400)) + "\n");
}

} // namespace
} // namespace dlu
