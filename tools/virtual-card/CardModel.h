#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CardClips.h"
#include "CardEffects.h"
#include "CardCommands.h"
#include "KeyExchange.h"
#include "common/Device/CcmEasyEncrypt.h"

namespace vcard {


struct CardIdentity {
    uint8_t hardwareVersion = 10;
    uint8_t firmwareVersion = 23;
    uint8_t deviceType = 1;
};

// What the card kept of the last effect download (payloads deciphered).
struct EffectDownload {
    std::vector<card::Frame> header;
    std::vector<card::Frame> recordsA;
    std::vector<card::Frame> recordsB;
    std::vector<card::Frame> recordsC;
    int framesReceived = 0;
};

// What the header of the last effect download announced, how many records the card took from
// the frames of each section, and whether the frames were exactly those the header announced
// (counts and frame indices 0, 1, ... in order).
struct EffectDownloadCheck {
    bool hasHeader = false;
    int announcedFramesA = 0;
    int announcedBytesA = 0;
    int announcedFramesB = 0;
    int announcedBytesB = 0;
    int announcedFramesC = 0;
    int announcedBytesC = 0;
    int recordsA = 0;
    int recordsB = 0;
    int recordsC = 0;
    bool countsMatch = false;
};

// The card's side of the protocol, without any transport: frames in, frames out.
class CCardModel {
public:
    explicit CCardModel(CardIdentity identity = {});

    // The reply to a frame from the host, or nothing for frames the card does not answer.
    std::optional<card::Frame> HandleHostFrame(const card::Frame& frame);

    // An unsolicited parameter report for one knob, value as the report carries it; remembered
    // until the host acknowledges it. Levels 0, 1 and 38 go in quarter steps: the card holds
    // four times the reported level (report 25: level 100).
    card::Frame MakeKnobReport(int id, int value);
    card::Frame MakeLevelsFrame(const std::vector<int>& levels) const;

    const std::array<int, kParamCount>& Params() const { return m_params; }
    int Param(int id) const { return m_params.at(static_cast<size_t>(id)); }
    int HostState() const { return m_hostState; }
    const card::CipherKey& SessionKey() const { return m_sessionKey; }
    bool HasSessionKey() const { return m_keyExchanges > 0; }
    int KeyExchanges() const { return m_keyExchanges; }
    const std::vector<int>& StoredSlots() const { return m_storedSlots; }
    const EffectDownload& LastEffectDownload() const { return m_effect; }
    const CCardClips& Clips() const { return m_clips; }
    EffectDownloadCheck CheckEffectDownload() const;
    int EffectNumber() const { return m_params[kEffectNumberParam]; }
    int AcksGood() const { return m_acksGood; }
    int AcksBad() const { return m_acksBad; }
    int ReportsUnacknowledged() const { return static_cast<int>(m_unacked.size()); }
    int FramesReceived() const { return m_framesReceived; }
    int BadChecksumFrames() const { return m_badChecksum; }
    // How many frames with this command code the host has sent.
    int CommandCount(uint8_t code) const;

    // One line of JSON describing everything above.
    std::string StateJson() const;

    // Set by CMD_FW_ENTER_BOOT: the card is to leave for its loader once the reply is out.
    bool TakeEnterBoot() { return std::exchange(m_enterBoot, false); }
    // What the card runs after its loader wrote a new firmware.
    void SetFirmwareVersion(uint8_t version) { m_identity.firmwareVersion = version; }
    uint8_t FirmwareVersion() const { return m_identity.firmwareVersion; }

private:
    card::Frame Reply(const card::Frame& request, uint8_t flag) const;
    card::Frame KeyExchangeReply(const card::Frame& request);
    void EncipherWithSession(card::Frame& frame) const;
    void CheckAcknowledge(const card::Frame& ack);

    CardIdentity m_identity;
    std::array<int, kParamCount> m_params{};
    int m_hostState = 0;
    card::CipherKey m_sessionKey{};
    int m_keyExchanges = 0;
    std::vector<int> m_storedSlots;
    EffectDownload m_effect;
    CCardClips m_clips;
    std::map<uint8_t, int> m_commandCounts;
    std::vector<card::Frame> m_unacked;
    int m_acksGood = 0;
    int m_acksBad = 0;
    int m_framesReceived = 0;
    int m_badChecksum = 0;
    uint32_t m_randomState;
    bool m_enterBoot = false;
};

// The report descriptor the card presents: vendor-defined, 64-byte input and output reports
// without report ids. Tests vary the lengths to play broken devices.
std::vector<uint8_t> MakeReportDescriptor(int inputBytes = 64, int outputBytes = 64);

// "0a1b..." for a frame.
std::string ToHex(const uint8_t* bytes, size_t n);

}  // namespace vcard
