#include "devmem/DeviceViewerModel.h"

#include <gtest/gtest.h>

namespace dlu {
namespace {

using Outcome = CellEdit::Outcome;
constexpr int kD = static_cast<int>(AreaIndex::D);
constexpr int kX = static_cast<int>(AreaIndex::X);

TEST(DeviceViewerModel, DecimalEntries) {
    struct Case {
        const char* text;
        Outcome outcome;
        std::uint16_t value;
        const char* hex;
    };
    const Case cases[] = {
        {"12", Outcome::Stored, 12, "H000C"},
        {"0", Outcome::Stored, 0, "H0000"},
        {"65535", Outcome::Stored, 65535, "HFFFF"},
        {"65536", Outcome::OutOfRange, 0, ""},
        {"abc", Outcome::Ignored, 0, ""},
        {"", Outcome::Ignored, 0, ""},
        {"00", Outcome::Ignored, 0, ""},
        {"-5", Outcome::OutOfRange, 0, ""},
        {" 42", Outcome::Stored, 42, "H002A"},
        {"7x", Outcome::Stored, 7, "H0007"},
        {"99999999999999999999", Outcome::OutOfRange, 0, ""},
    };
    for (const auto& c : cases) {
        const auto r = DeviceViewerModel::parseDec(c.text);
        EXPECT_EQ(r.outcome, c.outcome) << c.text;
        if (c.outcome == Outcome::Stored) {
            EXPECT_EQ(r.value, c.value) << c.text;
            EXPECT_EQ(r.decText, c.text);
            EXPECT_EQ(r.hexText, c.hex) << c.text;
        }
    }
}

TEST(DeviceViewerModel, HexEntries) {
    struct Case {
        const char* text;
        Outcome outcome;
        std::uint16_t value;
        const char* hex;
    };
    const Case cases[] = {
        {"1f", Outcome::Stored, 31, "H1F"},
        {"H1A", Outcome::Stored, 26, "H1A"},
        {"FF", Outcome::Stored, 255, "HFF"},
        {"H00FF", Outcome::Stored, 255, "H00FF"},
        {"h00ff", Outcome::Stored, 255, "H00FF"},
        {"XYZ", Outcome::Ignored, 0, ""},
        {"H0", Outcome::Ignored, 0, ""},
        {"H12345", Outcome::Ignored, 0, ""},
        {"0", Outcome::Stored, 0, "H0"},
        {"12345", Outcome::OutOfRange, 0, ""},
        {"FFFF", Outcome::Stored, 65535, "HFFFF"},
        {"H", Outcome::Ignored, 0, ""},
        {"", Outcome::Ignored, 0, ""},
    };
    for (const auto& c : cases) {
        const auto r = DeviceViewerModel::parseHex(c.text);
        EXPECT_EQ(r.outcome, c.outcome) << c.text;
        if (c.outcome == Outcome::Stored) {
            EXPECT_EQ(r.value, c.value) << c.text;
            EXPECT_EQ(r.hexText, c.hex) << c.text;
            EXPECT_EQ(r.decText, std::to_string(c.value)) << c.text;
        }
    }
}

TEST(DeviceViewerModel, GridOfAreaDForA01) {
    PdmImage image;
    image.setFlag(1);
    image.setWord(kD, 9999, 0xABCD);
    DeviceViewerModel model(0, image);
    model.selectArea(kD);
    EXPECT_EQ(model.rowCount(), 10000u);
    EXPECT_EQ(model.cellText(0, DeviceViewerModel::ColNo), "01");
    EXPECT_EQ(model.cellText(0, DeviceViewerModel::ColDevice), "D00000");
    EXPECT_EQ(model.cellText(9999, DeviceViewerModel::ColDevice), "D09999");
    EXPECT_EQ(model.cellText(9999, DeviceViewerModel::ColNo), "10000");
    EXPECT_EQ(model.cellText(9999, DeviceViewerModel::ColDec), "43981");
    EXPECT_EQ(model.cellText(9999, DeviceViewerModel::ColHex), "HABCD");
    EXPECT_EQ(model.cellText(5, DeviceViewerModel::ColVariable), "");
    // Past the capacity: never a read outside the area.
    EXPECT_EQ(model.cellText(10000, DeviceViewerModel::ColDec), "ERROR");
    EXPECT_EQ(model.edit(10000, DeviceViewerModel::ColDec, "5").outcome, Outcome::Ignored);
    EXPECT_EQ(model.edit(3, DeviceViewerModel::ColDevice, "5").outcome, Outcome::Ignored);
}

TEST(DeviceViewerModel, EditsStayInTheWorkingCopyUntilApplied) {
    PdmImage dialogImage;
    dialogImage.setFlag(1);
    dialogImage.setWord(kX, 1, 7);
    DeviceViewerModel model(26, dialogImage);
    ASSERT_EQ(model.edit(1, DeviceViewerModel::ColDec, "300").outcome, Outcome::Stored);
    EXPECT_EQ(model.working().word(kX, 1), 300);
    EXPECT_EQ(dialogImage.word(kX, 1), 7);

    model.restore(dialogImage);
    EXPECT_EQ(model.working().word(kX, 1), 7);

    model.edit(1, DeviceViewerModel::ColHex, "H10");
    model.apply(dialogImage);
    EXPECT_EQ(dialogImage.word(kX, 1), 16);
}

TEST(DeviceViewerModel, PasteSplitsAtLineFeedsDownwards) {
    PdmImage image;
    image.setFlag(1);
    DeviceViewerModel model(0, image);
    model.selectArea(kD);
    const auto results = model.paste(2, DeviceViewerModel::ColDec, "10\n20\r\n30\nxx\n40");
    ASSERT_EQ(results.size(), 5u);
    EXPECT_EQ(model.working().word(kD, 2), 10);
    // "20\r" reads as 20: the carriage return stays in the piece but ends the number.
    EXPECT_EQ(results[1].decText, "20\r");
    EXPECT_EQ(model.working().word(kD, 3), 20);
    EXPECT_EQ(model.working().word(kD, 4), 30);
    EXPECT_EQ(results[3].outcome, Outcome::Ignored);
    EXPECT_EQ(model.working().word(kD, 6), 40);

    // A trailing line feed hands one empty piece on, which is ignored; the bottom row ends it.
    EXPECT_EQ(model.paste(9998, DeviceViewerModel::ColDec, "1\n2\n3\n").size(), 2u);
    EXPECT_EQ(model.working().word(kD, 9999), 2);
    EXPECT_EQ(model.working().word(kD, 10000), 0);
}

TEST(DeviceViewerModel, ClearAndClearAll) {
    PdmImage image;
    image.setFlag(1);
    image.setMask(0x0200);
    image.setRange(kD, {0, 10});
    image.setWord(kD, 3, 3);
    image.setWord(kX, 3, 3);
    image.setWord(static_cast<int>(AreaIndex::CS), 4095, 9);

    DeviceViewerModel model(0, image);
    model.selectArea(static_cast<int>(AreaIndex::CS));
    model.clearArea();
    EXPECT_EQ(model.working().word(static_cast<int>(AreaIndex::CS), 4095), 0)
        << "clear takes every word of the area, past the capacity too";
    EXPECT_EQ(model.working().word(kD, 3), 3);

    model.clearAll();
    PdmImage applied = image;
    model.apply(applied);
    EXPECT_EQ(applied.flag(), 1);
    EXPECT_EQ(applied.mask(), 0);
    EXPECT_EQ(applied.range(kD), (PdmImage::Range16{0, 0}));
    EXPECT_EQ(applied.word(kX, 3), 0);
}

} // namespace
} // namespace dlu
