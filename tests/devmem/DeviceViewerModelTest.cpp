#include "devmem/DeviceViewerModel.h"

#include <gtest/gtest.h>

namespace dlu {
namespace {

using Outcome = CellEdit::Outcome;
constexpr int kD = static_cast<int>(AreaIndex::D);
constexpr int kX = static_cast<int>(AreaIndex::X);

// Entries of the decimal and the hex column; a stored one shows in both columns.
TEST(DeviceViewerModel, DecimalAndHexEntries) {
    constexpr bool D = false, H = true;
    const Outcome S = Outcome::Stored, I = Outcome::Ignored, R = Outcome::OutOfRange;
    struct Case {
        bool hex;
        const char* text;
        Outcome outcome;
        std::uint16_t value;
        const char* hexText;
    };
    // clang-format off
    const Case cases[] = {
        {D, "12", S, 12, "H000C"}, {D, "0", S, 0, "H0000"}, {D, "65535", S, 65535, "HFFFF"},
        {D, "65536", R, 0, ""}, {D, "abc", I, 0, ""}, {D, "", I, 0, ""}, {D, "00", I, 0, ""},
        {D, "-5", R, 0, ""}, {D, " 42", S, 42, "H002A"}, {D, "7x", S, 7, "H0007"},
        {D, "99999999999999999999", R, 0, ""},
        {H, "1f", S, 31, "H1F"}, {H, "H1A", S, 26, "H1A"}, {H, "FF", S, 255, "HFF"},
        {H, "H00FF", S, 255, "H00FF"}, {H, "h00ff", S, 255, "H00FF"}, {H, "XYZ", I, 0, ""},
        {H, "H0", I, 0, ""}, {H, "H12345", I, 0, ""}, {H, "0", S, 0, "H0"},
        {H, "12345", R, 0, ""}, {H, "FFFF", S, 65535, "HFFFF"}, {H, "H", I, 0, ""},
        {H, "", I, 0, ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        const auto r =
            c.hex ? DeviceViewerModel::parseHex(c.text) : DeviceViewerModel::parseDec(c.text);
        EXPECT_EQ(r.outcome, c.outcome) << c.text;
        if (c.outcome == S) {
            EXPECT_EQ(r.value, c.value) << c.text;
            EXPECT_EQ(r.hexText, c.hexText) << c.text;
            EXPECT_EQ(r.decText, c.hex ? std::to_string(c.value) : std::string(c.text));
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
