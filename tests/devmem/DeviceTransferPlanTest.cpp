#include "devmem/DeviceTransferPlan.h"
#include "comm/UploadBlock.h"
#include "devmem/LinuxImage.h"
#include "plc/DeviceArea.h"

#include <gtest/gtest.h>

#include <vector>

namespace dlu {
namespace {

struct Request {
    std::string address;
    int count;
};

std::vector<Request> requests(AreaIndex area, WordRange range, TransferDirection dir) {
    const Messages en(Language::English);
    std::vector<Request> out;
    for (int n = 0; n < 1000; ++n) {
        const auto c = DeviceTransferPlan::chunk(static_cast<int>(area), range, n, dir, en);
        if (c.count < 1) {
            break;
        }
        out.push_back({c.address, c.count});
        if (c.count != DeviceTransferPlan::kChunkWords) {
            break;
        }
    }
    return out;
}

TEST(DeviceTransferPlan, ChunksOfAHundredWords) {
    using R = std::vector<Request>;
    struct Case {
        AreaIndex area;
        WordRange range;
        R expected;
    };
    const Case cases[] = {
        {AreaIndex::D, {0, 250}, R{{"D00000", 100}, {"D00100", 100}, {"D00200", 50}}},
        {AreaIndex::X, {0, 100}, R{{"X0000", 100}}},
        {AreaIndex::X, {3, 50}, R{{"X0030", 47}}},
        {AreaIndex::D, {0, 0}, R{}},
        {AreaIndex::D, {5, 0}, R{}},
        {AreaIndex::D, {0, 1}, R{{"D00000", 1}}},
        {AreaIndex::D, {0, 101}, R{{"D00000", 100}, {"D00100", 1}}},
        {AreaIndex::T, {0, 200}, R{{"T0000", 100}, {"T1600", 100}}},
        {AreaIndex::S, {7, 100}, R{{"S07", 93}}},
    };
    for (const auto& c : cases) {
        const auto got = requests(c.area, c.range, TransferDirection::Upload);
        ASSERT_EQ(got.size(), c.expected.size()) << c.range.start << ".." << c.range.end;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].address, c.expected[i].address);
            EXPECT_EQ(got[i].count, c.expected[i].count);
        }
    }
}

TEST(DeviceTransferPlan, ProgressTextsAndSteps) {
    const Messages en(Language::English);
    const WordRange d{0, 250};
    auto c = DeviceTransferPlan::chunk(9, d, 0, TransferDirection::Upload, en);
    EXPECT_EQ(c.line1, "<[D] Device Upload>");
    EXPECT_EQ(c.line2, "D00000 Uploading...(100Word)");
    EXPECT_FALSE(c.last);
    EXPECT_EQ(c.advance, 50); // 100 / (250 / 100)

    AreaProgress progress;
    progress.apply(c);
    EXPECT_EQ(progress.bar(), 50);
    c = DeviceTransferPlan::chunk(9, d, 2, TransferDirection::Download, en);
    EXPECT_EQ(c.line1, "<[D] Device Download>");
    EXPECT_EQ(c.line2, "D00200 ~ 50Word Downloading....");
    EXPECT_TRUE(c.last);
    progress.apply(c);
    EXPECT_EQ(progress.bar(), 99);
    EXPECT_EQ(progress.percent(), 100);

    // A long range: many small steps never push the bar past its end.
    progress.reset();
    const WordRange big{0, 32000};
    for (int n = 0; n < 319; ++n) {
        progress.apply(DeviceTransferPlan::chunk(9, big, n, TransferDirection::Upload, en));
    }
    EXPECT_LE(progress.bar(), 99);
}

TEST(DeviceTransferPlan, RestoreRestrictions) {
    const char* never[] = {"F", "T", "C", "S", "Z", "R"};
    for (int area = 0; area < DeviceAreas::kCount; ++area) {
        const auto letter = DeviceAreas::at(area).letter;
        bool forbidden = false;
        for (const char* n : never) {
            forbidden = forbidden || letter == n;
        }
        const bool small = letter == "TS" || letter == "CS";
        for (CpuType type : std::initializer_list<CpuType>{0, 10, 14, 26, 29, 34}) {
            const bool smallType = type == 10 || type == 14 || type == 29 || type == 34;
            EXPECT_EQ(DeviceTransferPlan::restoreAllowed(area, type),
                      !forbidden && !(small && smallType))
                << letter << " type " << type;
        }
    }
    EXPECT_FALSE(DeviceTransferPlan::restoreAllowed(16, 0));
    EXPECT_FALSE(DeviceTransferPlan::restoreAllowed(-1, 0));
}

TEST(LinuxImage, RestoreBlocks) {
    struct Case {
        std::size_t size;
        bool ok;
        std::uint16_t blocks;
        std::size_t last;
    };
    const Case cases[] = {
        {476, true, 2, 238},
        {500, true, 3, 24},
        {1, true, 1, 1},
        {238, true, 1, 238},
        {239, true, 2, 1},
        {0, false, 0, 0},
        {238u * 65535, true, 65535, 238},
        {238u * 65535 + 1, false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto plan = LinuxImage::restorePlan(c.size);
        ASSERT_EQ(plan.has_value(), c.ok) << c.size;
        if (c.ok) {
            EXPECT_EQ(plan->blocks, c.blocks) << c.size;
            EXPECT_EQ(plan->lastSize, c.last) << c.size;
        }
    }
}

TEST(LinuxImage, UploadResponses) {
    std::vector<std::uint8_t> r{0, 0, 0x01, 0x02, 0x00, 0x07, 0x00, 0x03, 0xA, 0xB, 0xC, 0xD};
    auto b = UploadBlock::parse(r);
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(b->total, 0x0102);
    EXPECT_EQ(b->number, 7);
    ASSERT_EQ(b->data.size(), 3u);
    EXPECT_EQ(b->data[2], 0xC);

    r[7] = 5; // claims more data than the response holds
    EXPECT_FALSE(UploadBlock::parse(r).has_value());
    EXPECT_FALSE(UploadBlock::parse(std::span(r).first(7)).has_value());
}

} // namespace
} // namespace dlu
