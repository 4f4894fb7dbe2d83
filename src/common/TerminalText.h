#pragma once

#include <string>
#include <string_view>

namespace dlu {

// Text that came from outside (a package, a .PDM, a PLC, a file name) made safe to show: a
// crafted name must not be able to move the cursor, retitle the window or rewrite what a
// terminal or a field already shows.
//
//  - control characters (C0, DEL and the C1 range U+0080-U+009F) become "\xHH", one per byte;
//  - characters that reorder the text around them (bidirectional overrides) become "\u202E";
//  - bytes that are not UTF-8 become '?';
//  - with keepLineBreaks, '\n' stays (message texts of our own run over several lines).
std::string displaySafe(std::string_view text, bool keepLineBreaks = false);

} // namespace dlu
