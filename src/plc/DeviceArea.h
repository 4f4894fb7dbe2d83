#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace dlu {

// The sixteen device areas. The index fixes their order everywhere: capacity columns,
// selection mask bits, range fields, the blocks of a device memory file, the viewer's list.
enum class AreaIndex : int { X = 0, Y, M, L, K, F, T, C, S, D, Z, R, TC, TS, CC, CS };

struct DeviceArea {
    AreaIndex index;
    std::string_view letter;        // "X" ... "CS"
    int deviceId;                   // selects the capacity column; never on the wire
    int buttonId;                   // selection button of the device memory dialog
    std::string_view buttonCaption; // its caption
    int startEditId;
    int endEditId;
    int transferDigits;              // minimum digits of the number in a transfer request name
    unsigned transferScale;          // word number multiplier in that name
    int viewerDigits;                // minimum digits of the word number the viewer shows
    std::string_view summaryPrefix;  // "[ X ] : ", before validation messages
    std::string_view noticePrefix;   // "X'", before the full-range notice
    std::string_view progressPrefix; // "[X] ", before progress lines
    std::string_view englishCaption; // the button's caption with the English interface
};

class DeviceAreas {
public:
    static constexpr int kCount = 16;

    static std::span<const DeviceArea> all();
    // The area at `index`; index must be 0..15.
    static const DeviceArea& at(int index);
    static const DeviceArea& at(AreaIndex index) { return at(static_cast<int>(index)); }
    // The area named by its letter(s), exact upper case ("D", "TC"); nullptr when none.
    static const DeviceArea* byLetter(std::string_view letter);

    // Name of word `word` of an area in a read or write request. X, Y, M, L, K and F name bit
    // 0 of the word (word x 10, the last digit being the bit). T and C are read by the PLC as
    // contact numbers, sixteen to a word, so word w goes out as contact w x 16; every other
    // area carries the word number itself.
    static std::string transferAddress(int index, std::uint32_t word);

    // Name of word `word` as the viewer shows it: the word number itself for every area.
    static std::string viewerName(int index, std::uint32_t word);
};

} // namespace dlu
