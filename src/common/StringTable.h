#pragma once

#include "common/MessageIds.h"

#include <span>
#include <string>
#include <string_view>

namespace dlu {

// The one string table of the program. Korean texts sit at ids 400 to 698, the English text
// of the same message at id + 300 (700 to 998). Texts are UTF-8.
struct StringEntry {
    int id;
    const char* text;
};

// Every entry, sorted by id. Defined with the texts themselves in MessageTexts.cpp.
std::span<const StringEntry> stringTableEntries();

// The raw entry for an id, or an empty view for an id that has no text.
std::string_view stringTableEntry(int id);

// The English of a message shown in Korean: `shown` is a Korean entry's text, or its format
// filled in (the filled-in values go over into the English format in their order), with
// anything after a line break that follows it (a cause) kept as it is. A text no Korean
// entry gives comes back unchanged, as does English text.
std::string englishText(std::string_view shown);

// Language of the user interface, fixed once at start.
enum class Language { English = 0, Korean = 1 };

// Offset added to a Korean message id: 0 for Korean, 300 for English.
constexpr int messageIdOffset(Language lang) { return lang == Language::Korean ? 0 : 300; }

// Loads messages in the language of the run: code names the Korean id and the offset
// picks the language. Code names messages by `Msg`.
class Messages {
public:
    explicit Messages(Language lang = Language::English) : lang_(lang) {}

    Language language() const { return lang_; }
    int languageFlag() const { return lang_ == Language::Korean ? 1 : 0; }
    int offset() const { return messageIdOffset(lang_); }

    // Text of Korean message id `koreanId` in the language of the run.
    std::string_view text(int koreanId) const { return stringTableEntry(koreanId + offset()); }
    std::string_view operator()(int koreanId) const { return text(koreanId); }

private:
    Language lang_;
};

} // namespace dlu
