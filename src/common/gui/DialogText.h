#pragma once

#include "common/StringTable.h"

#include <QString>

#include <string_view>

namespace dlu::gui {

// Dialog layouts carry Korean captions and labels; with the English interface each dialog
// puts its English text in their place when it opens. Both texts are UTF-8.
inline QString layoutText(const Messages& messages, std::string_view korean,
                          std::string_view english) {
    const std::string_view text = messages.language() == Language::Korean ? korean : english;
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Message `koreanId` of the string table in the language of the run.
inline QString messageText(const Messages& messages, int koreanId) {
    const std::string_view text = messages(koreanId);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace dlu::gui
