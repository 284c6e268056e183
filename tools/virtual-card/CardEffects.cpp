#include "CardEffects.h"

#include <cstddef>
#include <initializer_list>

namespace vcard {

namespace {

using Values = std::initializer_list<int>;

// What the card's firmware holds for its effects (the equaliser EQ_1..EQ_15 at ids 9-23, the
// ducking switch at 24, ids 26-37 after it).
constexpr Values kPlainEq = {100, 120, 126, 120, 143, 170, 60, 60,
                             150, 120, 140, 145, 160, 180, 120};
constexpr Values kPlainRest = {0, 99, 125, 0, 100, 0, 85, 100, 67, 17, 28, 58};
constexpr Values kOutdoorEq = {120, 120, 98,  90,  89,  113, 90, 120,
                               90,  120, 130, 120, 180, 120, 160};
constexpr Values kOutdoorRest = {0, 99, 125, 1, 100, 0, 85, 100, 67, 17, 28, 58};
constexpr Values kCustom1Eq = {120, 120, 137, 120, 120, 120, 100, 100,
                               110, 150, 120, 120, 100, 90,  122};
constexpr Values kCustom1Rest = {0, 0, 0, 1, 100, 31, 50, 10, 90, 23, 62, 50};

void Put(std::array<int, kParamCount>& params, Values eq, int ducking, Values rest) {
    int id = 9;
    for (int v : eq) {
        params[static_cast<size_t>(id++)] = v;
    }
    params[24] = ducking;
    id = 26;
    for (int v : rest) {
        params[static_cast<size_t>(id++)] = v;
    }
}

}  // namespace

bool LoadOwnEffect(int number, std::array<int, kParamCount>& params) {
    switch (number) {
        case 0:  // outdoor
            Put(params, kOutdoorEq, 0, kOutdoorRest);
            break;
        case 1:  // ducking: the plain effect with ducking and reverb on
            Put(params, kPlainEq, 1, kPlainRest);
            params[29] = 1;
            break;
        case 5:  // the first device custom slot as it leaves the factory
            Put(params, kCustom1Eq, 57, kCustom1Rest);
            break;
        case 2:  // KTV
        case 3:  // music
        case 4:  // plain
        case 6:  // the second device custom slot
            Put(params, kPlainEq, 0, kPlainRest);
            break;
        default:
            return false;
    }
    params[kEffectNumberParam] = number;
    return true;
}

}  // namespace vcard
