#include "QVAudioProtocol.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "Log/Log.h"
#include "QVAudioEvents.h"
#include "ccm_util/AppMessages.h"
#include "ccm_util/Dispatcher.h"
#include "ccm_util/Event.h"
#include "ccm_util/EventBus.h"
#include "ccm_util/MessagePoster.h"
#include "common/Device/FrameChecksum.h"
#include "common/Device/ICommDeviceMgmt.h"
#include "KeyExchange.h"

#define LOG_SOURCE "QVAudio\\QVAudioProtocol"

using namespace card;

class CQVAudioProtocol::CDownloadThread : public ccm_util::CThreadObject {
public:
    explicit CDownloadThread(CQVAudioProtocol& owner) : m_owner(owner) {}
    ~CDownloadThread() override { Join(); }
    void Wait() { Join(); }

protected:
    int Run() override { return m_owner.RunDownload(); }

private:
    CQVAudioProtocol& m_owner;
};

namespace {
std::unique_ptr<CcmEasyEncrypt> MakeCipher(CcmEasyEncrypt** keep) {
    auto cipher = std::make_unique<CcmEasyEncrypt>();
    *keep = cipher.get();
    return cipher;
}

void PostToMain(uint64_t wParam, int64_t lParam) {
    ccm_util::PostMessage(ccm_util::MainWindowHandle(), UM_NOTIFY_MAIN, wParam, lParam);
}
}  // namespace

CQVAudioProtocol::CQVAudioProtocol()
    : CProtocol(kFrameLength, MakeCipher(&m_cipher)), m_random(std::random_device{}()) {
    // Tests of the programs as processes shorten the card's reply waits this way.
    if (const char* limit = std::getenv(kReplyTimeoutVariable)) {
        m_replyTimeoutLimitMs = static_cast<uint32_t>(std::strtoul(limit, nullptr, 10));
    }
}

CQVAudioProtocol::~CQVAudioProtocol() { m_downloadThread.reset(); }

void CQVAudioProtocol::SetDeviceMgmt(ICommDeviceMgmt* manager) { m_manager = manager; }

void CQVAudioProtocol::ResetDeviceMgmt() { m_manager = nullptr; }

uint32_t CQVAudioProtocol::DrawKeyPart() {
    std::lock_guard<std::mutex> guard(m_randomMutex);
    return std::uniform_int_distribution<uint32_t>(0, 32766)(m_random);
}

bool CQVAudioProtocol::NegotiateKey() {
    ICommDeviceMgmt* manager = m_manager.load();
    if (!manager) {
        return false;
    }
    // The temporary, proposed and final keys must not meet enciphered frames of a download.
    std::lock_guard<std::recursive_mutex> cipherGuard(CipherMutex());
    Frame q{};
    q[0] = CMD_KEY_EXCHANGE;
    const int positions[4] = {6, 12, 24, 32};
    for (int pos : positions) {
        uint32_t r = DrawKeyPart();
        std::memcpy(q.data() + pos, &r, sizeof r);  // little-endian on every target we build
    }
    m_cipher->SetKey(q[6], q[32], q[24], q[12], kKeyPayloadLength);
    Encrypt(q.data());
    CipherKey proposed = ReadKeyFromFrame(q.data());

    Frame r{};
    const Timing timing = TimingOf(kKeyExchangeTiming);
    if (!manager->SendAndReceive(q.data(), r.data(), timing.tries, timing.timeoutMs, false)) {
        return false;  // the temporary key stays installed
    }
    m_cipher->SetKey(proposed.seed, proposed.modulus, proposed.multiplier, proposed.increment,
                     kKeyPayloadLength);
    Decrypt(r.data());
    CipherKey final = ReadKeyFromFrame(r.data());
    m_cipher->SetKey(final.seed, final.modulus, final.multiplier, final.increment,
                     kKeyPayloadLength);
    return true;
}

void CQVAudioProtocol::OnRecvData(const uint8_t* bytes) {
    Frame frame;
    std::memcpy(frame.data(), bytes, kFrameLength);
    if (frame[0] == RPT_LEVELS) {
        if (RepeatsSilence(frame)) {
            return;
        }
        // Levels come many times a second and only the newest is worth showing: one post at a
        // time carries whichever is newest when the UI thread gets to it.
        if (m_levels->Put(frame)) {
            const bool posted = ccm_util::DispatchToUi([slot = m_levels] {
                if (std::optional<Frame> latest = slot->Take()) {
                    ccm_util::EventBus::Instance().Fire(EventRecvData(*latest));
                }
            });
            if (!posted) {
                m_levels->PostFailed();
                m_silentCount = -1;
            }
        }
        return;
    }
    if (frame[0] != RPT_PARAMS) {
        return;
    }
    uint8_t status = kAckAccepted;
    uint8_t computed = FrameChecksum(frame.data(), kFrameLength - 1);
    if (computed != frame[kFrameLength - 1]) {
        VLOG_ERROR("device", "CQVAudioProtocol::OnRecvData",
                   "CheckReply error: reply crc 0x%02x != 0x%02x  cmd=0x%02x",
                   frame[kFrameLength - 1], computed, frame[0]);
        status = kAckBadChecksum;
    }
    if (frame[kFlagOffset] != 0) {
        VLOG_ERROR("device", "CQVAudioProtocol::OnRecvData",
                   "CheckReply error: reply falg 0x%02x != 0  cmd=0x%02x", frame[kFlagOffset],
                   frame[0]);
        status = kAckBadFlag;
    }
    Frame ack = frame;
    ack[0] = CMD_PARAMS_ACK;
    ack[kFlagOffset] = status;
    if (ICommDeviceMgmt* manager = m_manager.load()) {
        manager->SendNotReceive(ack.data(), false);
    }
    if (status == kAckAccepted) {
        ccm_util::EventBus::Instance().Post(std::make_shared<EventRecvData>(frame));
    }
}

bool CQVAudioProtocol::RepeatsSilence(const Frame& frame) {
    const int count = std::min<int>(frame[kLevelCountOffset], kMaxLevels);
    bool silent = true;
    for (int i = 0; i < count && silent; ++i) {
        const size_t at = static_cast<size_t>(kLevelValuesOffset + 2 * i);
        silent = frame[at] == 0 && frame[at + 1] == 0;
    }
    if (!silent) {
        m_silentCount = -1;
        return false;
    }
    // A card in silence sends the same empty report many times a second. Meters at rest, and
    // every reset of them, show 0 already, so a repeat changes nothing on screen: one of a run
    // goes on now and then (for a watcher that started during it), not every one.
    const uint32_t now = ccm_util::GetTickCount32();
    if (count == m_silentCount && now - m_silentSince < m_silenceRepeatMs.load()) {
        return true;
    }
    m_silentCount = count;
    m_silentSince = now;
    return false;
}

bool CQVAudioProtocol::Request(uint8_t code, int argument, Timing timing, uint8_t* reply) {
    ICommDeviceMgmt* manager = m_manager.load();
    if (!manager) {
        return false;
    }
    Frame q{};
    q[0] = code;
    q[4] = static_cast<uint8_t>(argument);
    Frame r{};
    timing = TimingOf(timing);
    return manager->SendAndReceive(q.data(), reply ? reply : r.data(), timing.tries,
                                   timing.timeoutMs, false);
}

bool CQVAudioProtocol::QueryDeviceInfo(uint8_t* reply) {
    return reply && Request(CMD_DEVICE_INFO, 0, kDeviceInfoTiming, reply);
}

bool CQVAudioProtocol::SendHostState(int state) {
    return Request(CMD_HOST_STATE, state, kHostStateTiming, nullptr);
}

Timing CQVAudioProtocol::TimingOf(Timing timing) const {
    const uint32_t limit = m_replyTimeoutLimitMs.load();
    if (limit != 0 && timing.timeoutMs > limit) {
        timing.timeoutMs = limit;
    }
    return timing;
}

bool CQVAudioProtocol::SendFrames(const std::vector<Frame>& frames) {
    ICommDeviceMgmt* manager = m_manager.load();
    if (!manager) {
        return false;
    }
    const Timing timing = TimingOf(kSetParamsTiming);
    for (const Frame& frame : frames) {
        Frame q = frame;  // signed in place
        Frame r{};
        if (!manager->SendAndReceive(q.data(), r.data(), timing.tries, timing.timeoutMs, false)) {
            return false;
        }
    }
    return true;
}

bool CQVAudioProtocol::StoreToSlot(int slot) {
    return Request(CMD_STORE_SLOT, slot, kStoreSlotTiming, nullptr);
}

bool CQVAudioProtocol::StartDownload(std::vector<Frame> frames) {
    bool expected = false;
    if (!m_downloading.compare_exchange_strong(expected, true)) {
        return false;
    }
    // The previous worker has cleared the flag as its last act; collect it.
    m_downloadThread.reset();
    m_downloadQueue = std::move(frames);
    m_downloadThread = std::make_unique<CDownloadThread>(*this);
    if (!m_downloadThread->StartThread()) {
        m_downloading = false;
        return false;
    }
    return true;
}

void CQVAudioProtocol::WaitDownload() {
    if (m_downloadThread) {
        m_downloadThread->Wait();
    }
}

int CQVAudioProtocol::RunDownload() {
    PostToMain(kNotifyDownloadProgress, 0);
    int result = 1;
    const size_t n = m_downloadQueue.size();
    const Timing timing = TimingOf(kEffectDownloadTiming);
    for (size_t k = 0; k < n; ++k) {
        ICommDeviceMgmt* manager = m_manager.load();
        Frame reply{};
        if (!manager || !manager->SendAndReceive(m_downloadQueue[k].data(), reply.data(),
                                                 timing.tries, timing.timeoutMs, true)) {
            result = 0;
            break;
        }
        PostToMain(kNotifyDownloadProgress, static_cast<int64_t>(100 * (k + 1) / n));
    }
    m_downloading = false;
    PostToMain(kNotifyDownloadDone, result);
    return result;
}
