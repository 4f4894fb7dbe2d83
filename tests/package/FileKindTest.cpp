#include "package/FileKind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dlu {
namespace {

std::vector<std::uint8_t> headerWith(std::string_view text, std::size_t size = 100) {
    std::vector<std::uint8_t> h(size, 0);
    std::copy(text.begin(), text.end(), h.begin());
    return h;
}

TEST(FileKind, LookupsByExtension) {
    struct Case {
        const char* path;
        std::string_view a; // primary magic by lookup A ("" = unknown kind)
        std::string_view b; // primary magic by lookup B
    };
    const Case cases[] = {
        {"Line1.prm", magic::kParameter, magic::kParameter},
        {"Line1.PRM", magic::kParameter, magic::kParameter},
        {"D:/P/Line1.PRMBUFF", magic::kParameter, ""},
        {"x.PLCV", magic::kVariable, magic::kVariable},
        {"x.PLC", magic::kVariable, ""},
        {"x.TXT", "", ""},
        {"x.bin", magic::kLink, magic::kLink},
        {"x.BAK", magic::kProgram, magic::kProgram},
        {"x.ouf", magic::kOpcUa, magic::kOpcUa},
        {"x.FBB", magic::kFunction, magic::kFunction},
        {"noextension", "", ""},
        {"dir.d/file", "", ""},
    };
    for (const Case& c : cases) {
        const auto ext = pathExtension(c.path);
        EXPECT_EQ(lookupFileKindA(ext).primaryMagic, c.a) << c.path;
        EXPECT_EQ(lookupFileKindB(ext).primaryMagic, c.b) << c.path;
        EXPECT_EQ(lookupFileKindA(ext).empty(), c.a.empty()) << c.path;
    }
    // Header sizes and the alternate texts that differ from the primary.
    EXPECT_EQ(lookupFileKindB("SRC").headerSize, 84u);
    EXPECT_EQ(lookupFileKindB("PMT").headerSize, 84u);
    EXPECT_EQ(lookupFileKindB("SPC").headerSize, 100u);
    EXPECT_EQ(lookupFileKindB("BIN").alternateMagic, magic::kLinkXp);
    EXPECT_EQ(lookupFileKindB("BAK").alternateMagic, magic::kSpecialProgram);
    EXPECT_EQ(lookupFileKindB("TXT").headerSize, 0u);
}

TEST(FileKind, HeaderMatches) {
    const FileKindDescriptor link = lookupFileKindB("BIN");
    const FileKindDescriptor unknown = lookupFileKindB("TXT");
    struct Case {
        const char* what;
        std::vector<std::uint8_t> header;
        FileKindDescriptor kind;
        bool matches;
    };
    std::vector<std::uint8_t> noZero(magic::kLink.begin(), magic::kLink.end());
    auto longer = headerWith(std::string(magic::kLink) + "S");
    const Case cases[] = {
        {"link text", headerWith(magic::kLink), link, true},
        {"link XP text", headerWith(magic::kLinkXp), link, true},
        {"text without zero byte", noZero, link, false},
        {"longer text", longer, link, false},
        {"other kind's text", headerWith(magic::kParameter), link, false},
        {"zeros", std::vector<std::uint8_t>(100, 0), link, false},
        {"unknown kind reads nothing", {}, unknown, true},
        {"unknown kind against a real header", headerWith(magic::kLink), unknown, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HeaderMatches(c.header, c.kind), c.matches) << c.what;
    }
}

TEST(FileKind, LinkLayoutNeedsXpTextAndZero) {
    EXPECT_EQ(chooseLinkLayout(headerWith(magic::kLinkXp)), LinkLayout::Xp);
    EXPECT_EQ(chooseLinkLayout(headerWith(magic::kLink)), LinkLayout::Older);
    EXPECT_EQ(chooseLinkLayout(headerWith(std::string(magic::kLinkXp) + "2")), LinkLayout::Older);
    std::vector<std::uint8_t> cut(magic::kLinkXp.begin(), magic::kLinkXp.end());
    EXPECT_EQ(chooseLinkLayout(cut), LinkLayout::Older); // no byte after the text
}

TEST(FileKind, PbtEntryFieldsPerLayoutAndByteOrder) {
    struct Case {
        LinkLayout layout;
        CpuType cpu;
        std::size_t at;
        std::vector<std::uint8_t> stored;
        std::uint64_t bytes;
    };
    const Case cases[] = {
        {LinkLayout::Xp, 26, 20, {0x10, 0x02, 0x00, 0x00}, 0x0210u * 4}, // little-endian
        {LinkLayout::Xp, 0, 20, {0x00, 0x00, 0x02, 0x10}, 0x0210u * 4},  // big-endian
        {LinkLayout::Xp, 34, 20, {0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFFull * 4},
        {LinkLayout::Older, 10, 14, {0x34, 0x12}, 0x1234u * 4},
        {LinkLayout::Older, 23, 14, {0x12, 0x34}, 0x1234u * 4},
        {LinkLayout::Older, 9, 14, {0x12, 0x34}, 0x1234u * 4},
    };
    for (const Case& c : cases) {
        std::array<std::uint8_t, kPbtEntrySize> e{};
        std::copy(c.stored.begin(), c.stored.end(), e.begin() + static_cast<long>(c.at));
        const PbtEntry used = readPbtEntry(e, c.layout, c.cpu);
        EXPECT_TRUE(used.used);
        EXPECT_EQ(used.programBytes, c.bytes) << "cpu " << c.cpu;
        e[c.layout == LinkLayout::Xp ? 2 : 20] = 0xFF;
        EXPECT_FALSE(readPbtEntry(e, c.layout, c.cpu).used);
    }
    // The little-endian CPU set: 10..22, 26..29, 34.
    for (CpuType code = 0; code <= 40; ++code) {
        const bool little = (code >= 10 && code <= 22) || (code >= 26 && code <= 29) || code == 34;
        EXPECT_EQ(CpuTypeTable::littleEndianProgramLengths(code), little) << code;
    }
}

// A link file with entry 0 used (8 bytes), entry 1 unused, entry 2 used (12 bytes).
std::vector<std::uint8_t> linkFile(LinkLayout layout, std::size_t tail) {
    auto f = headerWith(layout == LinkLayout::Xp ? magic::kLinkXp : magic::kLink);
    f.resize(kLinkProgramsOffset, 0);
    const auto entry = [&](std::size_t i) { return f.data() + kPbtOffset + i * kPbtEntrySize; };
    const std::size_t mark = layout == LinkLayout::Xp ? 2 : 20;
    for (std::size_t i = 0; i < kPbtEntryCount; ++i) {
        entry(i)[mark] = 0xFF;
    }
    const auto setUnits = [&](std::size_t i, std::uint8_t units) {
        entry(i)[mark] = 0;
        entry(i)[layout == LinkLayout::Xp ? 20 : 14] = units; // little-endian CPU below
    };
    setUnits(0, 2);
    setUnits(2, 3);
    for (std::size_t i = 0; i < tail; ++i) {
        f.push_back(static_cast<std::uint8_t>(i));
    }
    return f;
}

TEST(FileKind, LinkFileMapSkipsUnusedEntriesAndStopsAtTheEnd) {
    for (const LinkLayout layout : {LinkLayout::Xp, LinkLayout::Older}) {
        const LinkFileMap map = mapLinkFile(linkFile(layout, 20), 26);
        EXPECT_EQ(map.layout, layout);
        ASSERT_TRUE(map.complete);
        EXPECT_EQ(map.programs[0].offset, kLinkProgramsOffset);
        EXPECT_EQ(map.programs[0].size, 8u);
        EXPECT_FALSE(map.programs[1].used);
        EXPECT_EQ(map.programs[2].offset, kLinkProgramsOffset + 8); // follows directly
        EXPECT_EQ(map.programs[2].size, 12u);

        const LinkFileMap cut = mapLinkFile(linkFile(layout, 19), 26);
        EXPECT_FALSE(cut.complete);
        EXPECT_TRUE(cut.programs[0].used);
        EXPECT_FALSE(cut.programs[2].used);
    }
    EXPECT_FALSE(mapLinkFile(headerWith(magic::kLinkXp), 26).complete);
}

} // namespace
} // namespace dlu
