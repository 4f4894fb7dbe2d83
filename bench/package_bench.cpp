// Opening a 20 MB download package (decrypt, unpack, scan, read the project) beside the same
// work done by `openssl enc -d -aes-128-cbc` followed by `unzip`, on the same file in the same
// run. Prints our time divided by theirs: the goal is a ratio of 1 or less.
#include "BenchSupport.h"
#include "PackageBuilder.h"
#include "common/Crypto.h"
#include "common/Prompter.h"
#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/PackageReading.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Fixture {
    std::string folder;
    std::string package;
    std::string keyHex;

    Fixture() {
        // A fresh private folder (mkdtemp, mode 0700), never a name another process could guess.
        folder = (fs::temp_directory_path() / "dlu-bench-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        package = folder + "/Big.DWN";
        // About 20 MB of package: mostly random data (stored as it is by deflate) and some
        // repetitive data that deflates well.
        dlu::test::Bytes random(19u << 20);
        std::mt19937 gen(1234);
        for (auto& b : random) {
            b = static_cast<std::uint8_t>(gen());
        }
        dlu::test::Bytes pattern(6u << 20);
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            pattern[i] = static_cast<std::uint8_t>((i * 31) % 251 < 40 ? i : 0);
        }
        dlu::test::PackageBuilder builder;
        builder.project("Big", 26)
            .st(0, "Main")
            .extra("Random.DAT", random)
            .extra("Pattern.DAT", pattern)
            .innerScheme(dlu::test::Scheme::Current);
        builder.write(package);

        const auto crypto = dlu::Crypto::open();
        const auto key = dlu::CFileEncryption::currentSchemeKey(*crypto, true).value();
        static constexpr char kDigits[] = "0123456789abcdef";
        for (const auto b : key) {
            keyHex += kDigits[b >> 4];
            keyHex += kDigits[b & 15];
        }
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_OpenPackage(benchmark::State& state) {
    Fixture& f = fixture();
    dlu::bench::SilentPrompter prompter;
    const dlu::Messages messages(dlu::Language::English);
    dlu::CFileEncryption encryption(prompter, messages);
    dlu::CFileControl reader(prompter, messages);
    for (auto _ : state) {
        const auto contents = dlu::readPackage(f.package, reader, encryption);
        if (!contents || contents->info.projectName() != "Big") {
            state.SkipWithError("package did not open");
            break;
        }
        benchmark::DoNotOptimize(contents->projectSize);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(f.package)));
}

void BM_OpensslThenUnzip(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string zip = f.folder + "/plain.zip";
    const std::string out = f.folder + "/unzipped";
    const std::string command = "openssl enc -d -aes-128-cbc -K " + f.keyHex +
                                " -iv 00000000000000000000000000000000 -in '" + f.package +
                                "' -out '" + zip + "' && unzip -qo '" + zip + "' -d '" + out +
                                "' && rm -rf '" + out + "' '" + zip + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("openssl or unzip failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(f.package)));
}

BENCHMARK(BM_OpenPackage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_OpensslThenUnzip)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Keeps the mean real time of every benchmark for the ratio.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.times.find("BM_OpenPackage");
    const auto theirs = reporter.times.find("BM_OpensslThenUnzip");
    if (ours != reporter.times.end() && theirs != reporter.times.end() && theirs->second > 0) {
        std::printf("package size: %.1f MB\n",
                    static_cast<double>(fs::file_size(fixture().package)) / 1e6);
        std::printf("ratio (open package / openssl enc + unzip): %.2f\n",
                    ours->second / theirs->second);
    }
    benchmark::Shutdown();
    return 0;
}
