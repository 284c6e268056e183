#pragma once

#include <array>

namespace vcard {

inline constexpr int kParamCount = 47;
// Parameter 6: the effect the card runs.
inline constexpr int kEffectNumberParam = 6;

// The card's own effects 0-6: selected by number alone, the card takes the effect's parameters
// (6, 9-24 and 26-37) from its own memory, as the host does from its built-in list; the other
// parameters stay. False for a number that is not one of them.
bool LoadOwnEffect(int number, std::array<int, kParamCount>& params);

}  // namespace vcard
