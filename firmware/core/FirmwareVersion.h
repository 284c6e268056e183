#pragma once

#include <cstdint>
#include <string>

namespace firmware {

// Compares two versions of up to four dot-separated numbers from the left, missing numbers
// counting as 0: negative, 0 or positive as a is below, equal to or above b.
int CompareVersions(const std::string& a, const std::string& b);
// A condition is a letter and a version: E equal, G greater, L less; any other letter never holds.
bool ConditionHolds(const std::string& condition, const std::string& version);
// "1.0" for the card's byte 10 (value / 10, value mod 10).
std::string CardVersionText(uint8_t value);
// "2.3" for the server's currentVer 2 003 000 (millions, thousands).
std::string ServerVersionText(long long currentVer);
// Surrounding spaces, tabs and line breaks removed.
std::string Trim(const std::string& text);

}  // namespace firmware
