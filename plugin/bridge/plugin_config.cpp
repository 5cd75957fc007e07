#include "plugin/bridge/plugin_config.h"

#include <cstdint>

namespace brisane {

namespace {

bool parseProfileInteger(const char* text, unsigned* result) {
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = false;
    if (*text == '-' || *text == '+') negative = *text++ == '-';
    if (*text < '0' || *text > '9') return false;
    unsigned value = 0;
    while (*text >= '0' && *text <= '9') value = value * 10u + (unsigned)(*text++ - '0');
    *result = negative ? 0u - value : value;
    return true;
}

}  // namespace

int maxChannelsFromText(const char* text) {
    unsigned parsed = 0;
    if (!text || !parseProfileInteger(text, &parsed)) parsed = kDefaultMaxChannels;
    int channels = (int16_t)(uint16_t)(parsed & 0xFFFFu);
    if (channels > kMaxChannelLimit) channels = kMaxChannelLimit;
    if (channels < 1) channels = 1;
    return channels;
}

}  // namespace brisane
