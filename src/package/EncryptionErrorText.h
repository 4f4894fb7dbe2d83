#pragma once

#include "common/StringTable.h"

#include <string>

namespace dlu {

// The "Encryption Error" notice shown when the user asks for more information after the
// cryptography library could not be set up: its caption and its ten lines in the language
// of the run, joined with line breaks. The desktop program shows it as its own dialog.
std::string encryptionErrorText(Language language);

} // namespace dlu
