#include "CardModel.h"

#include <json/json.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "ParamEntries.h"
#include "common/Device/FrameChecksum.h"

namespace vcard {

using namespace card;

namespace {

// What a card fresh from the factory holds.
constexpr std::array<int, kParamCount> kFactoryParams = {
    6,  6,  100, 100, 45, 1,  1,  100, 100, 12, 12, 12,  12,  12,  12,  12,
    12, 12, 12,  12,  12, 12, 12, 12,  0,   60, 1,  100, 125, 1,  100, 10,
    100, 10, 100, 15, 7,  28, 100, 100, 100, 100, 100, 100, 100, 100, 100};

void Sign(Frame& f) { f[kFrameLength - 1] = FrameChecksum(f.data(), kFrameLength - 1); }

// The card reports these levels in quarter steps (its knobs move four at a time) and holds them
// on the host's 0-100 scale; bit 7 stays the mute bit.
bool IsQuarterStepLevel(int id) { return id == 0 || id == 1 || id == 38; }

// What the host calls an effect it sent as a file: once the card has taken the whole file it
// runs that effect instead of the one its number selected.
constexpr int kFileEffectNumber = 164;

Json::Value FramesJson(const std::vector<Frame>& frames) {
    Json::Value list(Json::arrayValue);
    for (const Frame& f : frames) {
        list.append(ToHex(f.data(), f.size()));
    }
    return list;
}

int Be16(const Frame& f, int at) {
    return (f[static_cast<size_t>(at)] << 8) | f[static_cast<size_t>(at + 1)];
}

// Records of one section: the frames must be numbered 0, 1, ... and be just enough to carry the
// announced records, `per` to a frame; the card takes no more records than announced.
bool CheckSection(const std::vector<Frame>& frames, int announcedFrames, int announcedRecords,
                  int per, int& records) {
    const int n = static_cast<int>(frames.size());
    records = std::min(n * per, announcedRecords);
    bool inOrder = true;
    for (int i = 0; i < n; ++i) {
        inOrder = inOrder && Be16(frames[static_cast<size_t>(i)], 1) == i;
    }
    return inOrder && n == announcedFrames && announcedRecords <= n * per &&
           announcedRecords > (n - 1) * per;
}

}  // namespace

std::string ToHex(const uint8_t* bytes, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out(n * 2, '0');
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return out;
}

std::vector<uint8_t> MakeReportDescriptor(int inputBytes, int outputBytes) {
    auto count = [](int n) {
        return std::vector<uint8_t>{0x96, static_cast<uint8_t>(n & 0xFF),
                                    static_cast<uint8_t>((n >> 8) & 0xFF)};
    };
    std::vector<uint8_t> d = {0x06, 0x00, 0xFF,  // usage page (vendor defined)
                              0x09, 0x01,        // usage 1
                              0xA1, 0x01,        // collection (application)
                              0x15, 0x00,        // logical minimum 0
                              0x26, 0xFF, 0x00,  // logical maximum 255
                              0x75, 0x08};       // report size 8
    auto in = count(inputBytes);
    d.insert(d.end(), in.begin(), in.end());
    d.insert(d.end(), {0x09, 0x01, 0x81, 0x02});  // usage, input (data, variable, absolute)
    auto out = count(outputBytes);
    d.insert(d.end(), out.begin(), out.end());
    d.insert(d.end(), {0x09, 0x01, 0x91, 0x02});  // usage, output
    d.push_back(0xC0);                            // end collection
    return d;
}

CCardModel::CCardModel(CardIdentity identity)
    : m_identity(identity),
      m_params(kFactoryParams),
      m_randomState(static_cast<uint32_t>(
          std::chrono::steady_clock::now().time_since_epoch().count() | 1)) {}

int CCardModel::CommandCount(uint8_t code) const {
    auto it = m_commandCounts.find(code);
    return it == m_commandCounts.end() ? 0 : it->second;
}

Frame CCardModel::Reply(const Frame& request, uint8_t flag) const {
    Frame r{};
    r[0] = static_cast<uint8_t>(request[0] + 1);
    r[kFlagOffset] = flag;
    return r;
}

void CCardModel::EncipherWithSession(Frame& frame) const {
    CcmEasyEncrypt cipher;
    cipher.SetKey(m_sessionKey.seed, m_sessionKey.modulus, m_sessionKey.multiplier,
                  m_sessionKey.increment, kKeyPayloadLength);
    cipher.Encrypt(frame.data());
}

Frame CCardModel::KeyExchangeReply(const Frame& request) {
    // The host proposes a key through the bytes it sent; the card answers under that key and
    // puts a fresh key of its own at the same places.
    CipherKey proposed = ReadKeyFromFrame(request.data());
    Frame r = Reply(request, kFlagOk);
    for (int i = 4; i < kFrameLength - 1; ++i) {
        m_randomState = m_randomState * 1103515245u + 12345u;
        r[static_cast<size_t>(i)] = static_cast<uint8_t>(m_randomState >> 16);
    }
    CipherKey final = ReadKeyFromFrame(r.data());
    CcmEasyEncrypt cipher;
    cipher.SetKey(proposed.seed, proposed.modulus, proposed.multiplier, proposed.increment,
                  kKeyPayloadLength);
    cipher.Encrypt(r.data());
    m_sessionKey = final;
    ++m_keyExchanges;
    return r;
}

void CCardModel::CheckAcknowledge(const Frame& ack) {
    for (auto it = m_unacked.begin(); it != m_unacked.end(); ++it) {
        Frame expected = *it;
        expected[0] = CMD_PARAMS_ACK;
        expected[kFlagOffset] = kAckAccepted;
        // The acknowledge copies the report; only code, flag and checksum differ.
        if (std::memcmp(expected.data() + 4, ack.data() + 4, kFrameLength - 5) == 0 &&
            ack[1] == expected[1] && ack[2] == expected[2]) {
            if (ack[kFlagOffset] == kAckAccepted) {
                ++m_acksGood;
            } else {
                ++m_acksBad;
            }
            m_unacked.erase(it);
            return;
        }
    }
    ++m_acksBad;
}

std::optional<Frame> CCardModel::HandleHostFrame(const Frame& frame) {
    ++m_framesReceived;
    ++m_commandCounts[frame[0]];
    if (FrameChecksum(frame.data(), kFrameLength - 1) != frame[kFrameLength - 1]) {
        ++m_badChecksum;
        if (frame[0] == CMD_PARAMS_ACK) {
            ++m_acksBad;
            return std::nullopt;
        }
        Frame r = Reply(frame, kAckBadChecksum);
        Sign(r);
        return r;
    }
    Frame r = Reply(frame, kFlagOk);
    bool encipheredReply = false;
    switch (frame[0]) {
        case CMD_KEY_EXCHANGE:
            r = KeyExchangeReply(frame);
            break;
        case CMD_HOST_STATE:
            m_hostState = frame[4];
            break;
        case CMD_DEVICE_INFO:
            r[kHardwareVersionOffset] = m_identity.hardwareVersion;
            r[kFirmwareVersionOffset] = m_identity.firmwareVersion;
            r[kDeviceTypeOffset] = m_identity.deviceType;
            break;
        case CMD_SET_PARAMS:
            DecodeParamEntries(frame, [this](const ParamEntry& e) {
                // Entries after the effect number (ascending ids) override what it loads.
                if (e.id == kEffectNumberParam && LoadOwnEffect(e.value, m_params)) {
                    return;
                }
                if (e.id >= 0 && e.id < kParamCount) {
                    m_params[static_cast<size_t>(e.id)] = e.value;
                }
            });
            break;
        case CMD_STORE_SLOT:
            m_storedSlots.push_back(frame[4]);
            break;
        case CMD_FW_NOTICE:
            break;
        case CMD_FW_ENTER_BOOT:
            m_enterBoot = true;
            break;
        case CMD_PARAMS_ACK:
            CheckAcknowledge(frame);
            return std::nullopt;
        case CMD_EFX_HEADER:
        case CMD_EFX_RECORDS_A:
        case CMD_EFX_RECORDS_B:
        case CMD_EFX_RECORDS_C: {
            Frame plain = frame;
            EncipherWithSession(plain);  // deciphers: the cipher is its own inverse
            if (frame[0] == CMD_EFX_HEADER) {
                m_effect = EffectDownload{};
                m_effect.header.push_back(plain);
            } else if (frame[0] == CMD_EFX_RECORDS_A) {
                m_effect.recordsA.push_back(plain);
            } else if (frame[0] == CMD_EFX_RECORDS_B) {
                m_effect.recordsB.push_back(plain);
            } else {
                m_effect.recordsC.push_back(plain);
            }
            ++m_effect.framesReceived;
            if (CheckEffectDownload().countsMatch) {
                m_params[kEffectNumberParam] = kFileEffectNumber;
            }
            encipheredReply = true;
            break;
        }
        case CMD_CLIP_BEGIN:
        case CMD_CLIP_DATA:
            r[kFlagOffset] = m_clips.Handle(frame);
            break;
        default:
            r[kFlagOffset] = 0x01;  // a command this card does not know
            break;
    }
    if (encipheredReply) {
        EncipherWithSession(r);
    }
    Sign(r);
    return r;
}

EffectDownloadCheck CCardModel::CheckEffectDownload() const {
    constexpr int kRecordBytesAB = 8;
    constexpr int kRecordBytesC = 24;
    constexpr int kPerFrameAB = 7;
    constexpr int kPerFrameC = 2;
    EffectDownloadCheck check;
    if (m_effect.header.empty()) {
        return check;
    }
    const Frame& h = m_effect.header.front();
    check.hasHeader = true;
    check.announcedFramesB = Be16(h, 6);
    check.announcedBytesB = (h[8] << 16) | (h[9] << 8) | h[10];
    check.announcedFramesA = Be16(h, 11);
    check.announcedBytesA = Be16(h, 13);
    check.announcedFramesC = Be16(h, 17);
    check.announcedBytesC = Be16(h, 19);
    const bool wholeRecords = check.announcedBytesA % kRecordBytesAB == 0 &&
                              check.announcedBytesB % kRecordBytesAB == 0 &&
                              check.announcedBytesC % kRecordBytesC == 0;
    const bool a = CheckSection(m_effect.recordsA, check.announcedFramesA,
                                check.announcedBytesA / kRecordBytesAB, kPerFrameAB,
                                check.recordsA);
    const bool b = CheckSection(m_effect.recordsB, check.announcedFramesB,
                                check.announcedBytesB / kRecordBytesAB, kPerFrameAB,
                                check.recordsB);
    const bool c = CheckSection(m_effect.recordsC, check.announcedFramesC,
                                check.announcedBytesC / kRecordBytesC, kPerFrameC, check.recordsC);
    check.countsMatch = wholeRecords && a && b && c;
    return check;
}

Frame CCardModel::MakeKnobReport(int id, int value) {
    Frame f{};
    f[0] = RPT_PARAMS;
    f[kParamCountOffset] = 1;
    EncodeParamEntry(f.data() + kParamEntriesOffset, id, 1, value);
    Sign(f);
    // Turned to one of its own effects, the card runs that effect's values.
    const bool ownEffect = id == kEffectNumberParam && LoadOwnEffect(value, m_params);
    if (!ownEffect && id >= 0 && id < kParamCount) {
        const int level = IsQuarterStepLevel(id) ? (value & 0x80) | ((value & 0x7F) * 4) : value;
        m_params[static_cast<size_t>(id)] = level & 0x0FFF;
    }
    m_unacked.push_back(f);
    return f;
}

Frame CCardModel::MakeLevelsFrame(const std::vector<int>& levels) const {
    Frame f{};
    f[0] = RPT_LEVELS;
    int n = std::min<int>(static_cast<int>(levels.size()), kMaxLevels);
    f[kLevelCountOffset] = static_cast<uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        int v = levels[static_cast<size_t>(i)];
        f[static_cast<size_t>(kLevelValuesOffset + 2 * i)] = static_cast<uint8_t>(v & 0xFF);
        f[static_cast<size_t>(kLevelValuesOffset + 2 * i + 1)] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
    Sign(f);
    return f;
}

std::string CCardModel::StateJson() const {
    Json::Value root;
    Json::Value params(Json::arrayValue);
    for (int v : m_params) {
        params.append(v);
    }
    root["params"] = params;
    root["host_state"] = m_hostState;
    root["effect_number"] = EffectNumber();
    Json::Value key;
    key["seed"] = m_sessionKey.seed;
    key["modulus"] = m_sessionKey.modulus;
    key["multiplier"] = m_sessionKey.multiplier;
    key["increment"] = m_sessionKey.increment;
    key["exchanges"] = m_keyExchanges;
    root["key"] = key;
    Json::Value slots(Json::arrayValue);
    for (int s : m_storedSlots) {
        slots.append(s);
    }
    root["slots"] = slots;
    Json::Value effect;
    effect["frames"] = m_effect.framesReceived;
    effect["header"] = FramesJson(m_effect.header);
    effect["records_a"] = static_cast<int>(m_effect.recordsA.size());
    effect["records_b"] = static_cast<int>(m_effect.recordsB.size());
    effect["records_c"] = static_cast<int>(m_effect.recordsC.size());
    const EffectDownloadCheck check = CheckEffectDownload();
    Json::Value announced;
    announced["frames_a"] = check.announcedFramesA;
    announced["bytes_a"] = check.announcedBytesA;
    announced["frames_b"] = check.announcedFramesB;
    announced["bytes_b"] = check.announcedBytesB;
    announced["frames_c"] = check.announcedFramesC;
    announced["bytes_c"] = check.announcedBytesC;
    effect["announced"] = announced;
    Json::Value taken;
    taken["a"] = check.recordsA;
    taken["b"] = check.recordsB;
    taken["c"] = check.recordsC;
    effect["records"] = taken;
    effect["counts_match"] = check.countsMatch;
    root["effect_download"] = effect;
    Json::Value acks;
    acks["good"] = m_acksGood;
    acks["bad"] = m_acksBad;
    acks["pending"] = static_cast<int>(m_unacked.size());
    root["acks"] = acks;
    root["clips"] = m_clips.ToJson();
    root["frames_received"] = m_framesReceived;
    root["bad_checksum"] = m_badChecksum;
    root["mode"] = "normal";
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, root);
}

}  // namespace vcard
