#pragma once

#include "devmem/PdmImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dlu {

// One word that differs between two device memory images.
struct WordDifference {
    int area = 0;
    std::uint32_t word = 0;
    std::uint16_t before = 0; // in the first image
    std::uint16_t after = 0;  // in the second
    bool operator==(const WordDifference&) const = default;
};

// Word-by-word comparison of two ".PDM" images over the words a file carries (CS stops at word
// 4055), in area order then word order. Flag, mask and ranges are not compared: two backups of
// the same PLC taken with different ranges differ only where their words do.
class PdmDiff {
public:
    // Every area when `area` is -1, else only that one.
    static std::vector<WordDifference> compare(const PdmImage& a, const PdmImage& b, int area = -1);

    // "D00100  1234 -> 1240"
    static std::string line(const WordDifference& d);
    // {"area": "D", "word": 100, "name": "D00100", "a": 1234, "b": 1240}
    static std::string json(const WordDifference& d);
};

} // namespace dlu
