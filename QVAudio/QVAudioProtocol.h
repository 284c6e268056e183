#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include "CardCommands.h"
#include "common/Device/CcmEasyEncrypt.h"
#include "common/Device/Protocol.h"
#include "ccm_util/LatestSlot.h"
#include "ccm_util/ThreadObject.h"

class ICommDeviceMgmt;

// The card's protocol: key exchange, unsolicited frames with their acknowledge, the small
// requests, and the effect download worker.
class CQVAudioProtocol : public CProtocol {
public:
    // Caps every reply wait, like SetReplyTimeoutLimit, for a whole program.
    static constexpr const char* kReplyTimeoutVariable = "LYNT_REPLY_TIMEOUT_MS";

    CQVAudioProtocol();
    ~CQVAudioProtocol() override;

    void OnRecvData(const uint8_t* frame) override;
    void SetDeviceMgmt(ICommDeviceMgmt* manager) override;
    void ResetDeviceMgmt() override;
    bool NegotiateKey() override;

    bool QueryDeviceInfo(uint8_t* reply);
    // Host state 1 tells the card the panel is there, 0 that it has gone.
    bool SendHostState(int state);
    // Sends each 64-byte frame and waits for its reply; stops at the first failure.
    bool SendFrames(const std::vector<card::Frame>& frames);
    bool StoreToSlot(int slot);
    // Starts sending the frames enciphered on a worker, reporting progress to the main window.
    // Does nothing while a download runs; returns whether this call started one.
    bool StartDownload(std::vector<card::Frame> frames);
    bool IsDownloading() const { return m_downloading.load(); }
    // Waits for a running download to end (tests, shutdown).
    void WaitDownload();

    ICommDeviceMgmt* DeviceMgmt() const { return m_manager.load(); }
    // How often a run of identical silent level reports is handed on (the first always is).
    static constexpr uint32_t kSilenceRepeatMs = 1000;
    void SetSilenceRepeatMs(uint32_t ms) { m_silenceRepeatMs = ms; }
    // Caps every reply wait at ms (0: the command's own time-out). Tests use it so that a silent
    // card costs milliseconds instead of seconds.
    void SetReplyTimeoutLimit(uint32_t ms) { m_replyTimeoutLimitMs = ms; }
    card::Timing TimingOf(card::Timing timing) const;
    const CcmEasyEncrypt& Key() const { return *m_cipher; }

private:
    class CDownloadThread;
    // One request whose argument is payload byte 0, awaited with the command's timing; the
    // reply lands in `reply` when given.
    bool Request(uint8_t code, int argument, card::Timing timing, uint8_t* reply);
    int RunDownload();
    // True for a level report of only zeros like the last one handed on, within the repeat
    // period; the receive thread's own state, so no lock.
    bool RepeatsSilence(const card::Frame& frame);
    uint32_t DrawKeyPart();

    CcmEasyEncrypt* m_cipher;  // owned by CProtocol
    std::atomic<ICommDeviceMgmt*> m_manager{nullptr};
    std::mutex m_randomMutex;
    std::mt19937 m_random;
    std::vector<card::Frame> m_downloadQueue;
    std::atomic<bool> m_downloading{false};
    std::atomic<uint32_t> m_replyTimeoutLimitMs{0};
    std::unique_ptr<CDownloadThread> m_downloadThread;
    int m_silentCount = -1;  // levels in the last report handed on if all were 0, else -1
    uint32_t m_silentSince = 0;
    std::atomic<uint32_t> m_silenceRepeatMs{kSilenceRepeatMs};
    // Shared with the call posted to the UI thread, which may run after this object is gone.
    std::shared_ptr<ccm_util::CLatestSlot<card::Frame>> m_levels =
        std::make_shared<ccm_util::CLatestSlot<card::Frame>>();
};
