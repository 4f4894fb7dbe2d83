// Packages made outside our code (the zip program and the openssl command line), with a JSON
// description of what opening each must show and of the blocks its download sends.
#include "PackageBuilder.h"
#include "PackageTestUtil.h"
#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/FileKind.h"
#include "package/PackageReading.h"
#include "plc/CpuTypeTable.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>

#ifndef DLU_SAMPLES_DIR
#error "DLU_SAMPLES_DIR names the folder of the sample packages"
#endif

namespace dlu {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using Json = nlohmann::json;

Bytes hex(const std::string& h) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
    }
    return out;
}

struct Sample {
    const char* name;
    LinkLayout layout;
};

class SamplePackages : public ::testing::TestWithParam<Sample> {};

TEST_P(SamplePackages, ReaderAgreesWithEveryField) {
    const std::string base = std::string(DLU_SAMPLES_DIR) + "/" + GetParam().name;
    ASSERT_TRUE(fs::exists(base + ".DWN")) << base;
    const auto bytes = test::readFile(base + ".json");
    const Json sample = Json::parse(std::string(bytes.begin(), bytes.end()));
    const Json& info = sample["info"];

    // Work on a copy: opening writes its backup copy beside the package.
    test::TempDir dir;
    const std::string path = dir.file(std::string(GetParam().name) + ".DWN");
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

// The parameter data and the link file's PBT and programs, decrypted from the package,
// are exactly the blocks the description says a download sends.
TEST_P(SamplePackages, InnerFilesDecryptToTheDownloadBlocks) {
    const std::string base = std::string(DLU_SAMPLES_DIR) + "/" + GetParam().name;
    const auto bytes = test::readFile(base + ".json");
    const Json sample = Json::parse(std::string(bytes.begin(), bytes.end()));
    std::map<char, std::map<long long, Bytes>> sent;
    for (const Json& r : sample["records"]) {
        Bytes& to = sent[r["kind"].get<std::string>()[0]][r["id"].get<long long>()];
        const Bytes data = hex(r["data"].get<std::string>());
        to.insert(to.end(), data.begin(), data.end());
    }

    test::TempDir dir;
    const std::string path = dir.file("p.DWN");
    fs::copy_file(base + ".DWN", path);
    test::RecordingPrompter prompter;
    const Messages messages(Language::English);
    CFileEncryption encryption(prompter, messages);
    CFileControl reader(prompter, messages);
    ASSERT_TRUE(reader.Open(path, encryption));

    const std::string prmPath = reader.UnpackFolder() + reader.ParameterFileName();
    const std::string binPath = reader.UnpackFolder() + reader.LinkFileName();
    EXPECT_EQ(encryption.CheckFileKind(prmPath), CFileEncryption::kKindMatches);
    EXPECT_EQ(encryption.CheckFileKind(binPath), CFileEncryption::kKindMatches);
    const std::string prmCopy = encryption.MakeDecryptedCopy(prmPath);
    const std::string binCopy = encryption.MakeDecryptedCopy(binPath);
    const Bytes prm = test::readFile(prmCopy);
    const Bytes bin = test::readFile(binCopy);

    ASSERT_GT(prm.size(), 100u);
    EXPECT_EQ(Bytes(prm.begin() + 100, prm.end()), sent['P'][0]);

    const CpuType cpu = static_cast<CpuType>(sample["info"]["cpu_type"].get<long long>());
    const LinkFileMap map = mapLinkFile(bin, cpu);
    EXPECT_EQ(map.layout, GetParam().layout);
    ASSERT_TRUE(map.complete);
    for (std::size_t i = 0; i < kPbtEntryCount; ++i) {
        const auto entry = std::span(bin).subspan(kPbtOffset + i * kPbtEntrySize, kPbtEntrySize);
        EXPECT_EQ(Bytes(entry.begin(), entry.end()), sent['B'][static_cast<long long>(i)]) << i;
        const LinkProgram& p = map.programs[i];
        const auto it = sent['C'].find(static_cast<long long>(i));
        ASSERT_EQ(p.used, it != sent['C'].end()) << i;
        if (p.used) {
            const auto program = std::span(bin).subspan(p.offset, p.size);
            EXPECT_EQ(Bytes(program.begin(), program.end()), it->second) << i;
        }
    }
    encryption.DeleteBufferFile(prmCopy);
    encryption.DeleteBufferFile(binCopy);
    reader.Close();
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"p.DWN"});
}

INSTANTIATE_TEST_SUITE_P(Samples, SamplePackages,
                         ::testing::Values(Sample{"Conveyor", LinkLayout::Xp},
                                           Sample{"Press", LinkLayout::Older}),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace dlu
