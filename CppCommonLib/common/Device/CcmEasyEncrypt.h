#pragma once

#include "ICommEncrypt.h"

// The card's payload cipher: an XOR keystream over bytes 4.. of a frame. Deciphering is
// enciphering again.
class CcmEasyEncrypt : public ICommEncrypt {
public:
    static constexpr int kPayloadOffset = 4;
    static constexpr int kMaxLength = 59;

    void Encrypt(uint8_t* frame) override;
    void Decrypt(uint8_t* frame) override { Encrypt(frame); }
    void SetKey(uint16_t seed, uint8_t modulus, uint16_t multiplier, uint8_t increment,
                int32_t length) override;

    uint16_t Seed() const { return m_seed; }
    uint8_t Modulus() const { return m_modulus; }
    uint16_t Multiplier() const { return m_multiplier; }
    uint16_t Increment() const { return m_increment; }
    int32_t Length() const { return m_length; }

private:
    uint16_t m_seed = 0;
    uint8_t m_modulus = 0;
    uint16_t m_multiplier = 0;
    uint16_t m_increment = 0;
    int32_t m_length = 0;
};
