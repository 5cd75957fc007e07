// The plug-in's configuration value MaxChannels, read from the text of its "\VelkConfig.ini"
// entry. Knows nothing of the file: the caller hands over whatever text the entry holds.
#pragma once

namespace brisane {

constexpr int kDefaultMaxChannels = 2;
constexpr int kMaxChannelLimit = 8;

// The number at the start of the text as GetPrivateProfileIntA reads one (optional blanks and
// sign, then decimal digits, wrapping like its unsigned result), its low 16 bits taken as a
// signed value and limited to 1..8. Text without a number, and a null pointer, give 2.
int maxChannelsFromText(const char* text);

}  // namespace brisane
