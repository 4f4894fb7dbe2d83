// Packages made outside our code (the zip program and the openssl command line), with a JSON
// description of what opening each must show and of the blocks its download sends.
#include "PackageBuilder.h"
#include "PackageTestUtil.h"
#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/PackageReading.h"
#include "plc/CpuTypeTable.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#ifndef DLU_SAMPLES_DIR
#error "DLU_SAMPLES_DIR names the folder of the sample packages"
#endif

namespace dlu {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using Json = nlohmann::json;

// The bytes each download sends, decrypted from these packages: SampleDownload in
// DownloadFlowTest.cpp, record by record.
class SamplePackages : public ::testing::TestWithParam<const char*> {};

TEST_P(SamplePackages, ReaderAgreesWithEveryField) {
    const std::string base = std::string(DLU_SAMPLES_DIR) + "/" + GetParam();
    ASSERT_TRUE(fs::exists(base + ".DWN")) << base;
    const auto bytes = test::readFile(base + ".json");
    const Json sample = Json::parse(std::string(bytes.begin(), bytes.end()));
    const Json& info = sample["info"];

    // Work on a copy: opening writes its backup copy beside the package.
    test::TempDir dir;
    const std::string path = dir.file(std::string(GetParam()) + ".DWN");
    fs::copy_file(base + ".DWN", path);
    const Bytes original = test::readFile(path);

    test::RecordingPrompter prompter;
    const Messages messages(Language::English);
    CFileEncryption encryption(prompter, messages);
    CFileControl reader(prompter, messages);
    const auto contents = readPackage(path, reader, encryption);
    ASSERT_TRUE(contents.has_value());
    EXPECT_TRUE(prompter.shown.empty());

    EXPECT_EQ(contents->info.projectName(), info["project"].get<std::string>());
    EXPECT_EQ(contents->info.cpuType(), info["cpu_type"].get<long long>());
    EXPECT_EQ(CpuTypeTable::displayName(contents->info.cpuType()),
              info["cpu_name"].get<std::string>());
    EXPECT_EQ(contents->projectSize, info["size"].get<long long>());

    // The program and ST program rows, every field: CliInfo.SamplesInJsonAndText (dlutil info
    // --json prints these rows and must equal the description).
    ASSERT_EQ(contents->info.programCount(), info["programs"].size());
    EXPECT_EQ(test::readFile(path), original);
    EXPECT_EQ(dir.listing().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Samples, SamplePackages, ::testing::Values("Conveyor", "Press"),
                         [](const auto& p) { return std::string(p.param); });

} // namespace
} // namespace dlu
