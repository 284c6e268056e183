#pragma once

#include <cstdint>

namespace card {

// The four key parts the key exchange reads out of a frame (both the request the host sends and
// the reply the card returns carry them at the same places).
struct CipherKey {
    uint16_t seed = 0;
    uint8_t modulus = 0;
    uint16_t multiplier = 0;
    uint8_t increment = 0;
};

inline CipherKey ReadKeyFromFrame(const uint8_t* f) {
    CipherKey k;
    k.seed = static_cast<uint16_t>(f[14] + 256 * f[25]);
    k.modulus = f[30];
    k.multiplier = static_cast<uint16_t>(f[16] + 256 * f[6]);
    k.increment = f[37];
    return k;
}

inline constexpr int kKeyPayloadLength = 59;

}  // namespace card
