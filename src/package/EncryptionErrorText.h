#pragma once

#include "common/StringTable.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace dlu {

// The "Encryption Error" notice shown when the user asks for more information after the
// cryptography library could not be set up: its caption and its ten lines in the language
// of the run, joined with line breaks. The desktop program shows it as its own dialog.
std::string encryptionErrorText(Language language);

// The notice's lines one by one, as its dialog shows them: line `index` (0 to
// kEncryptionErrorLines - 1) in `language`; empty past the last line.
inline constexpr std::size_t kEncryptionErrorLines = 10;
std::string_view encryptionErrorLine(Language language, std::size_t index);

} // namespace dlu
