#include "CcmEasyEncrypt.h"

#include <algorithm>

void CcmEasyEncrypt::Encrypt(uint8_t* frame) {
    uint16_t m = m_modulus ? m_modulus : 20;
    uint16_t s = m_seed ? m_seed : 100;
    for (int32_t i = 0; i < m_length; ++i) {
        s = static_cast<uint16_t>((s % m) * m_multiplier + m_increment);
        frame[kPayloadOffset + i] ^= static_cast<uint8_t>((s >> 4) & 0xFF);
    }
}

void CcmEasyEncrypt::SetKey(uint16_t seed, uint8_t modulus, uint16_t multiplier,
                            uint8_t increment, int32_t length) {
    m_seed = seed;
    m_modulus = modulus;
    m_multiplier = multiplier;
    m_increment = increment;
    // Never reach past the payload into the checksum byte.
    m_length = std::clamp<int32_t>(length, 0, kMaxLength);
}
