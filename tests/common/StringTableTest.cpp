#include "common/StringTable.h"
#include "common/TextFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <map>
#include <ostream>
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

TEST(StringTableTest, EntriesAreSortedByStrictlyAscendingId) {
    const auto entries = stringTableEntries();
    ASSERT_FALSE(entries.empty());
    for (std::size_t i = 1; i < entries.size(); ++i) {
        EXPECT_LT(entries[i - 1].id, entries[i].id) << "at position " << i;
    }
}

TEST(StringTableTest, EveryIdLiesInTheKoreanOrTheEnglishBlock) {
    for (const StringEntry& e : stringTableEntries()) {
        EXPECT_TRUE(isKoreanId(e.id) || isEnglishId(e.id)) << "id " << e.id;
    }
}

TEST(StringTableTest, EveryTextIsPresentAndNotEmpty) {
    for (const StringEntry& e : stringTableEntries()) {
        ASSERT_NE(e.text, nullptr) << "id " << e.id;
        EXPECT_FALSE(std::string_view(e.text).empty()) << "id " << e.id;
    }
}

TEST(StringTableTest, EveryTextIsWellFormedUtf8) {
    for (const StringEntry& e : stringTableEntries()) {
        ASSERT_NE(e.text, nullptr);
        EXPECT_TRUE(isValidUtf8(e.text)) << "id " << e.id;
    }
}

TEST(StringTableTest, EveryKoreanTextHasItsEnglishTextAndViceVersa) {
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

TEST(StringTableTest, LookupFindsEveryEntryAndNothingOutsideTheBlocks) {
    for (const StringEntry& e : stringTableEntries()) {
        EXPECT_EQ(stringTableEntry(e.id), std::string_view(e.text)) << "id " << e.id;
    }
    for (const int id : {0, 399, 699, 999, 1000, -1}) {
        EXPECT_TRUE(stringTableEntry(id).empty()) << "id " << id;
    }
}

// ---- Agreement between the two languages --------------------------------------------------

TEST(StringTableTest, ConversionScannerSeesTheRangeFormat) {
    // Guards the check below against passing because the scanner sees nothing.
    EXPECT_EQ(printfConversions("The range is from 0 to %d."), std::vector<std::string>{"%d"});
    EXPECT_EQ(printfConversions("Total : %d %%"), std::vector<std::string>{"%d"});
    EXPECT_EQ(printfConversions("[ COM%3d ] %s %04X"),
              (std::vector<std::string>{"%3d", "%s", "%04X"}));
}

TEST(StringTableTest, KoreanTextHasTheSamePrintfConversionsAsEnglish) {
    const auto byId = tableById();
    std::size_t withConversions = 0;
    for (const auto& [id, english] : byId) {
        if (!isEnglishId(id)) {
            continue;
        }
        const auto korean = byId.find(id - kEnglishOffset);
        if (korean == byId.end()) {
            continue; // reported by the orphan test
        }
        const auto expected = printfConversions(english);
        if (!expected.empty()) {
            ++withConversions;
        }
        EXPECT_EQ(printfConversions(korean->second), expected)
            << "Korean " << id - kEnglishOffset << " vs English " << id;
    }
    EXPECT_GT(withConversions, 0u);
}

TEST(StringTableTest, KoreanTextHasTheSameNumberOfAcceleratorsAsEnglish) {
    const auto byId = tableById();
    for (const auto& [id, english] : byId) {
        const auto korean = byId.find(id - kEnglishOffset);
        if (!isEnglishId(id) || korean == byId.end()) {
            continue;
        }
        EXPECT_EQ(std::count(korean->second.begin(), korean->second.end(), '&'),
                  std::count(english.begin(), english.end(), '&'))
            << "Korean " << id - kEnglishOffset << " vs English " << id;
    }
}

// ---- Texts the program relies on -----------------------------------------------------------

struct SpotCheck {
    int koreanId;
    const char* english;
    const char* korean; // nullptr: the Korean text is only required to exist
};

void PrintTo(const SpotCheck& c, std::ostream* os) { *os << "message " << c.koreanId; }

class StringTableSpotCheck : public ::testing::TestWithParam<SpotCheck> {};

TEST_P(StringTableSpotCheck, LoadsTheExactTextInEachLanguage) {
    const SpotCheck& c = GetParam();
    const Messages english(Language::English);
    const Messages korean(Language::Korean);

    EXPECT_EQ(english.text(c.koreanId), std::string_view(c.english));
    EXPECT_EQ(stringTableEntry(c.koreanId + 300), std::string_view(c.english));
    if (c.korean != nullptr) {
        EXPECT_EQ(korean.text(c.koreanId), std::string_view(c.korean));
    } else {
        EXPECT_FALSE(korean.text(c.koreanId).empty());
    }
    EXPECT_EQ(korean.text(c.koreanId), stringTableEntry(c.koreanId));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StringTableSpotCheck,
    ::testing::Values(
        // Main dialog.
        SpotCheck{400, "Download File Error.", nullptr},
        SpotCheck{401, "Search file not selected.",
                  "다운로드 파일이 없습니다.\n\"파일 선택...\"에서 설정해 주십시요."},
        SpotCheck{402, "connection setup not configured.",
                  "접속 설정이 없습니다.\n\"접속 선택...\"에서 설정해 주십시요."},
        SpotCheck{403, "Failed to connect with the PLC.",
                  "PLC 접속에 실패하였습니다.\n접속 설정 및 PLC 접속 상태를 확인 후 다시 시도해 "
                  "주십시요."},
        SpotCheck{404, "Downloading...Wait a moment, please....",
                  "다운로드 중입니다. 잠시만 기다려 주십시요..."},
        SpotCheck{450, "No.", "No."}, SpotCheck{451, "PID", "PID"},
        SpotCheck{452, "Program Name", "프로그램 이름"},
        SpotCheck{453, "Program Type", "프로그램 타입"},
        SpotCheck{470, "Serial Port", "Serial Port"},
        SpotCheck{471, "Dial-up Modem", "Dial-up Modem"},
        SpotCheck{472, "Leased Line Modem", "전용선 모뎀"}, SpotCheck{473, "Ethernet", "Ethernet"},
        SpotCheck{474, "PLC Simulator", "PLC Simulator"}, SpotCheck{475, "USB port", "USB port"},
        SpotCheck{480, "Connection : ", "접속 방식 : "}, SpotCheck{481, "Port : ", "통신포트 : "},
        SpotCheck{482, "IP Address : ", "IP 주소 : "},
        SpotCheck{503, "Search &File...", "파일 선택...(&F)"},
        SpotCheck{504, "Connection &Setup...", "접속 선택...(&S)"},
        SpotCheck{505, "&Download...", "다운로드(&D)"}, SpotCheck{506, "&Initialize", "초기화(&I)"},
        SpotCheck{507, "&Help", "도움말(&H)"},
        SpotCheck{509, "Project Information...", "프로젝트 정보..."},
        SpotCheck{510, "Project Name :", "프로젝트명 :"},
        SpotCheck{511, "Project Size :", "프로젝트 사이즈 :"},
        SpotCheck{512, "Program Count :", "프로그램 파일수 :"},
        SpotCheck{513, "Program Files...", "프로그램 정보..."},
        // Device memory.
        SpotCheck{551, "Upload device memory(CPU->FIle)", nullptr},
        SpotCheck{558, "To get a max Addr., input same value into Start and End Addr.", nullptr},
        SpotCheck{559, "addresses were changed to the maximum range.", nullptr},
        SpotCheck{561, "Error: start address is greater.", nullptr},
        SpotCheck{562, "The range is from 0 to %d.", nullptr},
        SpotCheck{571, " ~ %dWord Downloading....", nullptr},
        SpotCheck{573, " Uploading...(100Word)", nullptr},
        SpotCheck{
            574,
            "Delete the value of all the devices.\nClear the unsaved value.\n\nAfter deleting, "
            "press the \"Apply\" button to apply.",
            nullptr},
        SpotCheck{578, "CPU Type is not selected. Select the CPU.", nullptr},
        SpotCheck{584, "HEX", nullptr},
        // Communication and download.
        SpotCheck{600, "Invalid Password", nullptr},
        SpotCheck{
            601,
            "Cannot open the COM port.\nPlease check whether the port was already occupied by "
            "other application program.",
            nullptr},
        SpotCheck{615, "CPU Type is not Correct.\nCheck CPU TYPE at [File] -> [Project Properties]",
                  nullptr},
        SpotCheck{618, "ERR (1) : Unknown OP code", nullptr},
        SpotCheck{628, "ERR(11) : Rx. timeout", nullptr},
        SpotCheck{637, "ERR(20) : Not supported instruction", nullptr},
        SpotCheck{644, "Scan Program", "스캔 프로그램"},
        SpotCheck{650, "SFC Program", "SFC프로그램"},
        SpotCheck{651, "Download succeeded.", "다운로드가 완료되었습니다."},
        SpotCheck{
            653,
            "Parameter data size exceeds the capacity of CPU.\nPlease check the configuration "
            "and try to compile again.",
            "파라미터 파일의 크기가 PLC의 저장용량을 초과합니다.\n 다시 컴파일 하십시오."},
        SpotCheck{656, "Cannot find the PRM file. (parameter file)\nPlease compile again.",
                  "PRM 파일을 찾을수 없습니다.\n다시 컴파일하여 주십시요."},
        SpotCheck{657, "Cannot find BIN file. (program file)\nPlease compile again.",
                  "BIN 파일을 찾을 수 없습니다.\n다시 컴파일 하여 주십시요."},
        SpotCheck{
            662,
            "CPU mode will be changed to 'Remote STOP' for program downloading.\n\n(Ensure your "
            "system's safety against the risk from PLC stop.)",
            "현재의 CPU 모드는 프로그램 다운로드 작업이 가능한 상태가 아닙니다.\n\"Remote-"
            "STOP\" 상태로 전환하시겠습니까?\n\n(모드전환시의 위험요소를 반드시 확인하십시오.)"},
        SpotCheck{672, "\n\nCurrent CPU Mode : REMOTE PAUSE", nullptr},
        SpotCheck{698, "ST Program", "ST 프로그램"}),
    [](const ::testing::TestParamInfo<SpotCheck>& param) {
        return "Id" + std::to_string(param.param.koreanId);
    });

TEST(StringTableTest, EnglishMessagesComeFromIdPlus300) {
    const Messages english(Language::English);
    EXPECT_EQ(english.text(403), stringTableEntry(703));
    EXPECT_EQ(english.text(651), stringTableEntry(951));
    EXPECT_EQ(english.text(403), "Failed to connect with the PLC.");
    EXPECT_EQ(english.text(651), "Download succeeded.");
}

TEST(StringTableTest, RangeMessageFormatsInBothLanguages) {
    EXPECT_EQ(formatText(Messages(Language::English).text(562), 9999),
              "The range is from 0 to 9999.");
    const std::string korean = formatText(Messages(Language::Korean).text(562), 65535);
    EXPECT_NE(korean.find("65535"), std::string::npos) << korean;
    EXPECT_EQ(korean.find('%'), std::string::npos) << korean;
}

// The error report loads id 617 + PLC error code; each text must name its own code.
TEST(StringTableTest, PlcErrorTextsNameTheirOwnCodeInBothLanguages) {
    for (int code = 1; code <= 20; ++code) {
        for (const Language lang : {Language::English, Language::Korean}) {
            const std::string_view text = Messages(lang).text(617 + code);
            const std::size_t colon = text.find(" : ");
            ASSERT_NE(colon, std::string_view::npos) << "code " << code << ": " << text;
            std::string prefix;
            for (const char ch : text.substr(0, colon)) {
                if (ch != ' ') {
                    prefix += ch;
                }
            }
            EXPECT_EQ(prefix, "ERR(" + std::to_string(code) + ")") << text;
            EXPECT_GT(text.size(), colon + 3) << "code " << code << " has no description";
        }
    }
}

// The program list loads id 643 + program kind; kinds 1 to 7 have names, kind 0 none.
TEST(StringTableTest, ProgramKindNamesCoverKindsOneToSeven) {
    for (const Language lang : {Language::English, Language::Korean}) {
        const Messages messages(lang);
        EXPECT_TRUE(messages.text(643 + 0).empty());
        std::set<std::string_view> names;
        for (int kind = 1; kind <= 7; ++kind) {
            const std::string_view name = messages.text(643 + kind);
            EXPECT_FALSE(name.empty()) << "kind " << kind;
            names.insert(name);
        }
        EXPECT_EQ(names.size(), 7u) << "program kind names must differ";
    }
}

TEST(StringTableTest, ConnectionTypeNamesDifferForTheSixTypes) {
    for (const Language lang : {Language::English, Language::Korean}) {
        std::set<std::string_view> names;
        for (int type = 0; type <= 5; ++type) {
            const std::string_view name = Messages(lang).text(470 + type);
            EXPECT_FALSE(name.empty()) << "type " << type;
            names.insert(name);
        }
        EXPECT_EQ(names.size(), 6u);
    }
}

// The CPU mode texts are appended to a message, after a blank line, and name the mode.
TEST(StringTableTest, CpuModeTextsStartWithABlankLineAndNameTheMode) {
    struct Mode {
        int koreanId;
        const char* name;
    };
    constexpr Mode kModes[] = {{667, "LOCAL RUN"},  {668, "LOCAL STOP"},  {669, "LOCAL PAUSE"},
                               {670, "REMOTE RUN"}, {671, "REMOTE STOP"}, {672, "REMOTE PAUSE"}};
    for (const Mode& m : kModes) {
        for (const Language lang : {Language::English, Language::Korean}) {
            const std::string_view text = Messages(lang).text(m.koreanId);
            EXPECT_TRUE(text.starts_with("\n\n")) << "id " << m.koreanId;
            EXPECT_TRUE(text.ends_with(std::string(" : ") + m.name)) << "id " << m.koreanId;
        }
    }
}

// Labels are followed directly by a value, so their trailing blank belongs to the text.
TEST(StringTableTest, ConnectionLabelsKeepTheirTrailingBlank) {
    for (int id = 480; id <= 482; ++id) {
        for (const Language lang : {Language::English, Language::Korean}) {
            EXPECT_TRUE(Messages(lang).text(id).ends_with(" : ")) << "id " << id;
        }
    }
}

} // namespace
} // namespace dlu
