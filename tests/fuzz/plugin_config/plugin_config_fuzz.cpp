// The plug-in's MaxChannels value from whatever text its configuration file holds (the reader
// hands over at most 63 characters): always 1..8, and the same as a second reading that works
// on the number's remainder modulo 2^16 instead of its 32-bit wrap.
#include <cstdint>
#include <string>

#include "plugin/bridge/plugin_config.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

int Model(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return 2;
    uint32_t remainder = 0;  // the value modulo 65536
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        remainder = (remainder * 10u + static_cast<uint32_t>(text[i] - '0')) % 65536u;
    if (negative) remainder = (65536u - remainder) % 65536u;
    int value = remainder >= 32768u ? static_cast<int>(remainder) - 65536 : static_cast<int>(remainder);
    return value > 8 ? 8 : value < 1 ? 1 : value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size < 63 ? size : 63);
    text = text.substr(0, text.find('\0'));
    const int channels = brisane::maxChannelsFromText(text.c_str());
    FUZZ_CHECK(channels >= 1 && channels <= 8);
    FUZZ_CHECK(channels == Model(text));
    return 0;
}
