#include "comm/Crc16Dnp.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace dlu {
namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Crc16Dnp, StandardCheckValue) { EXPECT_EQ(Crc16Dnp::compute(bytesOf("123456789")), 0xEA82); }

TEST(Crc16Dnp, EmptyBlockIsTheInvertedStart) { EXPECT_EQ(Crc16Dnp::compute({}), 0xFFFF); }

TEST(Crc16Dnp, RunningFormMatchesTheBlockForm) {
    const auto data = bytesOf("loader frame check code");
    std::uint16_t crc = Crc16Dnp::kInit;
    for (const std::uint8_t b : data) {
        crc = Crc16Dnp::update(crc, b);
    }
    EXPECT_EQ(Crc16Dnp::final(crc), Crc16Dnp::compute(data));
}

TEST(Crc16Dnp, EverySingleBitFlipChangesTheCode) {
    auto data = bytesOf("123456789");
    const std::uint16_t good = Crc16Dnp::compute(data);
    for (std::size_t i = 0; i < data.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            data[i] ^= static_cast<std::uint8_t>(1U << bit);
            EXPECT_NE(Crc16Dnp::compute(data), good) << "byte " << i << " bit " << bit;
            data[i] ^= static_cast<std::uint8_t>(1U << bit);
        }
    }
}

} // namespace
} // namespace dlu
