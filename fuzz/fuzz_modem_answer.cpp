// The modem's CONNECT answer: any text gives a rate that the digits after "CONNECT" spell, or
// nothing.
#include "comm/ModemAnswer.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    const auto rate = dlu::connectLineRate(answer);
    if (rate && (*rate == 0 || answer.substr(0, 7) != "CONNECT")) {
        std::abort();
    }
    return 0;
}
