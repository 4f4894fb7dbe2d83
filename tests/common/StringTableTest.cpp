#include "common/StringTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace dlu {
namespace {

constexpr int kEnglishOffset = 300;

bool isKoreanId(int id) { return id >= 400 && id <= 698; }
bool isEnglishId(int id) { return id >= 700 && id <= 998; }

std::map<int, std::string_view> tableById() {
    std::map<int, std::string_view> byId;
    for (const StringEntry& e : stringTableEntries()) {
        byId.emplace(e.id, e.text == nullptr ? std::string_view{} : std::string_view{e.text});
    }
    return byId;
}

// The printf conversions of a text, in order ("%d", "%3d", "%s", ...); "%%" is no conversion.
std::vector<std::string> printfConversions(std::string_view text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            continue;
        }
        std::size_t j = i + 1;
        if (j < text.size() && text[j] == '%') {
            i = j;
            continue;
        }
        while (j < text.size() &&
               std::string_view("-+ #0").find(text[j]) != std::string_view::npos) {
            ++j;
        }
        while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) != 0 ||
                                   text[j] == '*' || text[j] == '.')) {
            ++j;
        }
        while (j < text.size() &&
               std::string_view("hlLqjzt").find(text[j]) != std::string_view::npos) {
            ++j;
        }
        if (j < text.size()) {
            ++j; // the conversion letter itself
        }
        out.emplace_back(text.substr(i, j - i));
        i = j - 1;
    }
    return out;
}

// True when `s` is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        unsigned cp = 0;
        if (b0 < 0x80) {
            ++i;
            continue;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2;
            cp = b0 & 0x1Fu;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            len = 3;
            cp = b0 & 0x0Fu;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4;
            cp = b0 & 0x07u;
        } else {
            return false;
        }
        if (i + len > s.size()) {
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0u) != 0x80u) {
                return false;
            }
            cp = (cp << 6) | (b & 0x3Fu);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

// ---- Shape of the table ------------------------------------------------------------------

// Sorted by strictly ascending id, every id in the Korean or the English block, every text
// present, non-empty and well-formed UTF-8, every Korean id paired with its English one, and
// the lookup finds every entry and nothing outside the blocks.
TEST(StringTableTest, TableShape) {
    const auto entries = stringTableEntries();
    ASSERT_FALSE(entries.empty());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const StringEntry& e = entries[i];
        if (i > 0) {
            EXPECT_LT(entries[i - 1].id, e.id) << "at position " << i;
        }
        EXPECT_TRUE(isKoreanId(e.id) || isEnglishId(e.id)) << "id " << e.id;
        ASSERT_NE(e.text, nullptr) << "id " << e.id;
        EXPECT_FALSE(std::string_view(e.text).empty()) << "id " << e.id;
        EXPECT_TRUE(isValidUtf8(e.text)) << "id " << e.id;
        EXPECT_EQ(stringTableEntry(e.id), std::string_view(e.text)) << "id " << e.id;
    }
    for (const int id : {0, 399, 699, 999, 1000, -1}) {
        EXPECT_TRUE(stringTableEntry(id).empty()) << "id " << id;
    }
    const auto byId = tableById();
    std::size_t korean = 0;
    std::size_t english = 0;
    for (const auto& [id, text] : byId) {
        if (isKoreanId(id)) {
            ++korean;
            EXPECT_TRUE(byId.contains(id + kEnglishOffset)) << "Korean " << id << " has no English";
        } else if (isEnglishId(id)) {
            ++english;
            EXPECT_TRUE(byId.contains(id - kEnglishOffset)) << "English " << id << " has no Korean";
        }
    }
    EXPECT_EQ(korean, english);
}

// ---- Agreement between the two languages --------------------------------------------------

// A Korean text has the printf conversions and the number of accelerators of its English one.
TEST(StringTableTest, KoreanTextHasTheConversionsAndAcceleratorsOfEnglish) {
    const auto byId = tableById();
    std::size_t withConversions = 0;
    for (const auto& [id, english] : byId) {
        const auto korean = byId.find(id - kEnglishOffset);
        if (!isEnglishId(id) || korean == byId.end()) {
            continue; // an orphan fails TableShape
        }
        const auto expected = printfConversions(english);
        withConversions += expected.empty() ? 0u : 1u;
        EXPECT_EQ(printfConversions(korean->second), expected) << "English " << id;
        EXPECT_EQ(std::count(korean->second.begin(), korean->second.end(), '&'),
                  std::count(english.begin(), english.end(), '&'))
            << "English " << id;
    }
    EXPECT_GT(withConversions, 0u); // the scanner does see conversions
}

// ---- Texts the program relies on -----------------------------------------------------------

// A handful of texts, exact in both languages (nullptr: the Korean text must only exist); the
// English text of a message is the one 300 ids above it.
TEST(StringTableTest, SpotCheck) {
    struct Case {
        int koreanId;
        const char* english;
        const char* korean;
    };
    const Case cases[] = {
        {401, "Search file not selected.",
         "다운로드 파일이 없습니다.\n\"파일 선택...\"에서 설정해 주십시요."},
        {472, "Leased Line Modem", "전용선 모뎀"},
        {503, "Search &File...", "파일 선택...(&F)"},
        {562, "The range is from 0 to %d.", nullptr},
        {615, "CPU Type is not Correct.\nCheck CPU TYPE at [File] -> [Project Properties]",
         nullptr},
        {651, "Download succeeded.", "다운로드가 완료되었습니다."},
        {672, "\n\nCurrent CPU Mode : REMOTE PAUSE", nullptr},
        {698, "ST Program", "ST 프로그램"},
    };
    const Messages english(Language::English);
    const Messages korean(Language::Korean);
    for (const Case& c : cases) {
        EXPECT_EQ(english.text(c.koreanId), std::string_view(c.english)) << c.koreanId;
        EXPECT_EQ(stringTableEntry(c.koreanId + kEnglishOffset), std::string_view(c.english));
        EXPECT_EQ(korean.text(c.koreanId), stringTableEntry(c.koreanId)) << c.koreanId;
        if (c.korean != nullptr) {
            EXPECT_EQ(korean.text(c.koreanId), std::string_view(c.korean)) << c.koreanId;
        }
    }
}

// Texts loaded by offset, in both languages: 617 + a PLC error code names that code; 643 + a
// program kind names kinds 1 to 7 apart (kind 0 has none); a CPU mode text (667 to 672) is
// appended to a message after a blank line and names the mode.
TEST(StringTableTest, TextsLoadedByOffsetInBothLanguages) {
    constexpr const char* kModes[] = {"LOCAL RUN",  "LOCAL STOP",  "LOCAL PAUSE",
                                      "REMOTE RUN", "REMOTE STOP", "REMOTE PAUSE"};
    for (const Language lang : {Language::English, Language::Korean}) {
        const Messages messages(lang);
        for (int code = 1; code <= 20; ++code) {
            const std::string_view text = messages.text(617 + code);
            const std::size_t colon = text.find(" : ");
            ASSERT_NE(colon, std::string_view::npos) << "code " << code << ": " << text;
            std::string prefix(text.substr(0, colon));
            std::erase(prefix, ' ');
            EXPECT_EQ(prefix, "ERR(" + std::to_string(code) + ")") << text;
            EXPECT_GT(text.size(), colon + 3) << "code " << code << " has no description";
        }
        EXPECT_TRUE(messages.text(643 + 0).empty());
        std::set<std::string_view> names;
        for (int kind = 1; kind <= 7; ++kind) {
            EXPECT_FALSE(messages.text(643 + kind).empty()) << "kind " << kind;
            names.insert(messages.text(643 + kind));
        }
        EXPECT_EQ(names.size(), 7u) << "program kind names must differ";
        for (int i = 0; i < 6; ++i) {
            const std::string_view text = messages.text(667 + i);
            EXPECT_TRUE(text.starts_with("\n\n")) << "id " << 667 + i;
            EXPECT_TRUE(text.ends_with(std::string(" : ") + kModes[i])) << "id " << 667 + i;
        }
    }
}

// The record keeps messages in English whatever the language of the run: a Korean message, or
// its format filled in, becomes the English one with the same values; a cause after it stays.
TEST(StringTableTest, EnglishOfAShownMessage) {
    struct Case {
        const char* shown;
        const char* english;
    };
    const Case cases[] = {
        {"다운로드가 완료되었습니다.", "Download succeeded."},
        {"다운로드가 완료되었습니다.\nconnection reset by peer",
         "Download succeeded.\nconnection reset by peer"},
        {"범위는 0부터 1023까지입니다.", "The range is from 0 to 1023."},
        {"블록 3개가 도착하지 않았습니다(전체 40개).\n이 파일은 완전하지 않으므로 복원에 사용하지 "
         "마십시오.",
         "3 of the 40 blocks did not arrive.\nThe file is incomplete; do not restore it."},
        {"/tmp/a b.PDM\n이 이름은 일반 파일이 아닙니다(folder). 다른 이름을 선택하십시오.",
         "/tmp/a b.PDM\nThis name is not a regular file (folder). Choose another name."},
        {"패키지의 파일을 읽을 수 없어 더 이상 보내지 않았습니다: PROG1.BIN\nNo such file",
         "A file of the package could not be read; nothing more was sent: PROG1.BIN\nNo such "
         "file"},
        {"D00012: PLC에는 5 (0x0005), 파일에는 7 (0x0007)",
         "D00012 is 5 (0x0005) in the PLC but 7 (0x0007) in the file"},
        // Already English, or no message of the table: as it is.
        {"Download succeeded.", "Download succeeded."},
        {"범위는 0부터", "범위는 0부터"},
        {"다운로드가 완료되었습니다. 그리고", "다운로드가 완료되었습니다. 그리고"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(englishText(c.shown), c.english) << c.shown;
    }
}

} // namespace
} // namespace dlu
