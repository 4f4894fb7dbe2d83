#include "plc/DeviceArea.h"

#include "common/TextFormat.h"

#include <array>
#include <cassert>

namespace dlu {

namespace {

using A = AreaIndex;

// clang-format off
constexpr std::array<DeviceArea, DeviceAreas::kCount> kAreas{{
    {A::X, "X", 1, 1110, "[ &X ]", 1150, 1151, 4, 10, 4, "[ X ] : ", "X'", "[X] ", "[ &X ]"},
    {A::Y, "Y", 2, 1111, "[ &Y ]", 1152, 1153, 4, 10, 4, "[ Y ] : ", "Y'", "[Y] ", "[ &Y ]"},
    {A::M, "M", 3, 1112, "[ &M ]", 1154, 1155, 4, 10, 4, "[ M ] : ", "M'", "[M] ", "[ &M ]"},
    {A::L, "L", 4, 1113, "[ &L ]", 1156, 1157, 4, 10, 4, "[ L ] : ", "L'", "[L] ", "[ &L ]"},
    {A::K, "K", 5, 1114, "[ &K ]", 1158, 1159, 4, 10, 4, "[ K ] : ", "K'", "[K] ", "[ &K ]"},
    {A::F, "F", 6, 1115, "[ F ]", 1160, 1161, 3, 10, 4, "[ F ] : ", "F'", "[F] ", "[ F ]"},
    {A::T, "T", 7, 1116, "[ &T ]", 1162, 1163, 4, 16, 4, "[ T ] : ", "T'", "[T] ", "[ &T ]"},
    {A::C, "C", 8, 1117, "[ &C ]", 1164, 1165, 4, 16, 4, "[ C ] : ", "C'", "[C] ", "[ &C ]"},
    {A::S, "S", 11, 1118, "[ S ]", 1166, 1167, 2, 1, 3, "[ S ] : ", "S'", "[S] ", "[ S ]"},
    {A::D, "D", 9, 1119, "[ &D ]", 1168, 1169, 5, 1, 5, "[ D ] : ", "D'", "[D] ", "[ &D ]"},
    {A::Z, "Z", 12, 1120, "[ &Z ]", 1170, 1171, 4, 1, 4, "[ Z ] : ", "Z'", "[Z] ", "[ &Z ]"},
    {A::R, "R", 14, 1121, "[ &R ]", 1172, 1173, 2, 1, 2, "[ R ] : ", "R'", "[R] ", "[ &R ]"},
    {A::TC, "TC", 48, 1122, "[ T현재치 ]", 1174, 1175, 4, 1, 4, "[ TC ] : ", "TC'",
     "[TC] ", "[ T Current ]"},
    {A::TS, "TS", 49, 1123, "[ T설정치 ]", 1176, 1177, 4, 1, 4, "[ TS ] : ", "TS'",
     "[TS] ", "[ T Preset ]"},
    {A::CC, "CC", 50, 1124, "[ C현재치 ]", 1178, 1179, 4, 1, 4, "[ CC ] : ", "CC'",
     "[CC] ", "[ C Current ]"},
    {A::CS, "CS", 51, 1125, "[ C설정치 ]", 1180, 1181, 4, 1, 4, "[ CS ] : ", "CS'",
     "[CS] ", "[ C Preset ]"},
}};
// clang-format on

} // namespace

std::span<const DeviceArea> DeviceAreas::all() { return kAreas; }

const DeviceArea& DeviceAreas::at(int index) {
    assert(index >= 0 && index < kCount && "device area index out of range");
    return kAreas[static_cast<std::size_t>(index)];
}

const DeviceArea* DeviceAreas::byLetter(std::string_view letter) {
    for (const auto& area : kAreas) {
        if (area.letter == letter) {
            return &area;
        }
    }
    return nullptr;
}

std::string DeviceAreas::transferAddress(int index, std::uint32_t word) {
    const auto& area = at(index);
    // Widen before scaling: a word number near the 32-bit limit must not wrap.
    const auto number = static_cast<unsigned long long>(word) * area.transferScale;
    return std::string(area.letter) + formatText("%0*llu", area.transferDigits, number);
}

std::string DeviceAreas::viewerName(int index, std::uint32_t word) {
    const auto& area = at(index);
    return std::string(area.letter) + formatText("%0*u", area.viewerDigits, word);
}

} // namespace dlu
