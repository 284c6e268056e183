#pragma once

#include <memory>
#include <mutex>

#include "ICommEncrypt.h"
#include "ICommProtocol.h"

// Frame layout shared by all commands: [0] code, [3] status flag, [4..n-2] payload, [n-1] sum.
class CProtocol : public ICommProtocol {
public:
    static constexpr int kCodeOffset = 0;
    static constexpr int kFlagOffset = 3;
    static constexpr uint8_t kFlagOk = 0xFF;

    CProtocol(int packetLength, std::unique_ptr<ICommEncrypt> cipher);

    bool CheckReply(const uint8_t* reply, uint8_t expectedCode) override;
    void SignFrame(uint8_t* frame) override;
    void Encrypt(uint8_t* frame) override;
    void Decrypt(uint8_t* frame) override;
    int GetPacketLength() override { return m_packetLength; }
    std::recursive_mutex& CipherMutex() override { return m_cipherMutex; }

protected:
    ICommEncrypt* Cipher() { return m_cipher.get(); }

private:
    int m_packetLength;
    std::unique_ptr<ICommEncrypt> m_cipher;
    std::recursive_mutex m_cipherMutex;
};
