#pragma once

#include "devmem/PdmImage.h"
#include "plc/CpuTypeTable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dlu {

// What an edit of a value cell comes to.
struct CellEdit {
    enum class Outcome { Ignored, OutOfRange, Stored };
    Outcome outcome = Outcome::Ignored;
    std::uint16_t value = 0;
    std::string decText; // the DEC cell afterwards
    std::string hexText; // the HEX cell afterwards
};

// The device memory viewer without its widgets: a working copy of the dialog's image, the
// selected area, the cell texts of the grid and the editing rules. The copy reaches the
// dialog's image only through apply().
class DeviceViewerModel {
public:
    enum Column { ColNo = 0, ColDevice, ColVariable, ColDec, ColHex, kColumnCount };

    DeviceViewerModel(CpuType cpuType, const PdmImage& source);

    CpuType cpuType() const { return cpuType_; }
    int area() const { return area_; }
    void selectArea(int area);

    // Rows of the grid without the header row: one per word of the selected area.
    std::uint32_t rowCount() const;
    // Text of a data cell; row from 0 (word number), any column.
    std::string cellText(std::uint32_t row, int column) const;
    static bool editable(int column) { return column == ColDec || column == ColHex; }

    // Edit of the DEC or HEX cell of `row` ending with `text`; stores the word when valid.
    CellEdit edit(std::uint32_t row, int column, std::string_view text);
    // Clipboard text pasted at (row, column): one piece per line, downwards. A "\r" before a
    // "\n" stays in its piece. Pieces past the last row are dropped.
    std::vector<CellEdit> paste(std::uint32_t row, int column, std::string_view clipboard);

    // The entry rules on their own.
    static CellEdit parseDec(std::string_view text);
    static CellEdit parseHex(std::string_view text);

    void clearAll() { working_.clearBlock(); }
    void clearArea() { working_.clearArea(area_); }
    void restore(const PdmImage& source) { working_ = source; }
    void apply(PdmImage& target) const { target = working_; }
    // The words of `rows` over the ranges its mask selects replace those of the working copy
    // (an import); every other word, the mask and the ranges stay.
    void take(const PdmImage& rows);

    const PdmImage& working() const { return working_; }

private:
    CpuType cpuType_;
    PdmImage working_;
    int area_ = 0;
};

} // namespace dlu
