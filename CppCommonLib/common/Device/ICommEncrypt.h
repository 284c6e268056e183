#pragma once

#include <cstdint>

class ICommEncrypt {
public:
    virtual ~ICommEncrypt() = default;
    virtual void Encrypt(uint8_t* frame) = 0;
    virtual void Decrypt(uint8_t* frame) = 0;
    virtual void SetKey(uint16_t seed, uint8_t modulus, uint16_t multiplier, uint8_t increment,
                        int32_t length) = 0;
};
