#pragma once

#include "package/ProjectInfo.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace dlu {

// The ST programs of a Linux-family project, indexed by ST program number 0 to 127, built
// from the ".STL" files of the package's ST folder. It travels by value to the download.
class StProgramTable {
public:
    static constexpr std::size_t kEntryCount = 128;
    // The part of an ".STL" file that is read: number at byte 3, name at bytes 36 to 67.
    static constexpr std::size_t kStlReadSize = 100;
    static constexpr std::size_t kNumberOffset = 3;
    static constexpr std::size_t kNameOffset = 36;

    const std::array<ProgramEntry, kEntryCount>& entries() const { return entries_; }
    const ProgramEntry& entry(std::size_t number) const { return entries_.at(number); }
    bool present(std::size_t number) const {
        return number < kEntryCount && entries_[number].presence == 1;
    }

    void clear() { entries_ = {}; }

    // Enters the program described by the start of one ".STL" file (at most kStlReadSize
    // bytes; a shorter file gives what it holds, the name cut where the bytes end). A file
    // too short to hold its number, or a number of 128 or more, is not entered: false.
    bool addStl(std::span<const std::uint8_t> head);

    // Clears the table and enters every ".STL" file (any letter case) of the folder, in the
    // order of their names, so that a later duplicate number wins predictably.
    void build(const std::string& stFolder);

private:
    std::array<ProgramEntry, kEntryCount> entries_{};
};

} // namespace dlu
