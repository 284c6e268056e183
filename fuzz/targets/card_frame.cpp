// One 64-byte frame from the card as the receive path takes it: the reply check, the payload
// cipher under a key the card chose, the key exchange's read-out, the device information, the
// parameter entries and the protocol's handling of unsolicited frames.
// Input: 8 bytes of key (seed 2, modulus 1, multiplier 2, increment 1, length 2), the awaited
// code, then the frame (short inputs are zero-filled).
#include <cstring>
#include <memory>
#include <vector>

#include "CardCommands.h"
#include "DeviceInfo.h"
#include "FuzzTarget.h"
#include "KeyExchange.h"
#include "ParamEntries.h"
#include "QVAudioProtocol.h"
#include "common/Device/CcmEasyEncrypt.h"
#include "common/Device/Protocol.h"

namespace {
// The frame checks and the cipher of the base protocol, without a card behind them.
class CFrameChecks : public CProtocol {
public:
    using CProtocol::CProtocol;
    void OnRecvData(const uint8_t*) override {}
    void SetDeviceMgmt(ICommDeviceMgmt*) override {}
    void ResetDeviceMgmt() override {}
    bool NegotiateKey() override { return false; }
};
}  // namespace

VELORA_FUZZ_TARGET(card_frame) {
    uint8_t head[9] = {};
    std::memcpy(head, data, size < sizeof head ? size : sizeof head);
    const size_t rest = size > sizeof head ? size - sizeof head : 0;
    // Exactly one frame on the heap, so a read past it is caught.
    std::vector<uint8_t> frame(card::kFrameLength, 0);
    std::memcpy(frame.data(), data + (size - rest),
                rest < frame.size() ? rest : frame.size());

    auto cipher = std::make_unique<CcmEasyEncrypt>();
    int32_t length = static_cast<int16_t>(head[6] | head[7] << 8);
    cipher->SetKey(static_cast<uint16_t>(head[0] | head[1] << 8), head[2],
                   static_cast<uint16_t>(head[3] | head[4] << 8), head[5], length);
    CFrameChecks protocol(card::kFrameLength, std::move(cipher));
    if (protocol.CheckReply(frame.data(), head[8])) {
        protocol.Decrypt(frame.data());
    }
    card::CipherKey key = card::ReadKeyFromFrame(frame.data());
    (void)key;
    card::Frame whole;
    std::memcpy(whole.data(), frame.data(), whole.size());
    (void)card::FormatDeviceInfo(&whole);
    int seen = 0;
    card::DecodeParamEntries(whole, [&seen](const card::ParamEntry&) { ++seen; });

    // Unsolicited frames: no card attached, so no acknowledge is sent and no dispatcher takes
    // the posted event.
    static CQVAudioProtocol qv;
    qv.OnRecvData(frame.data());
}
