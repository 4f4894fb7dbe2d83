// Lines of the operation record: the JSON reader, and what dlutil history makes of a record
// (written back on one line, which must read again to the same value).
#include "common/JsonText.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto value = dlu::JsonValue::parse(text);
    if (!value) {
        return 0;
    }
    (void)value->textAt({"plc", "label"}, "-");
    const std::string line = value->dump();
    for (const char c : line) {
        if (static_cast<unsigned char>(c) < 0x20) {
            std::abort(); // a control byte would reach the terminal
        }
    }
    const auto again = dlu::JsonValue::parse(line);
    if (!again || again->dump() != line) {
        std::abort();
    }
    return 0;
}
