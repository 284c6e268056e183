#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "ClipTransfer.h"
#include "LibmadDecoder.h"
#include "ccm_util/EventBus.h"
#include "ccm_util/MessagePoster.h"

class CQVAudioProtocol;
class EventDecoderFinsh;

namespace sound::clip {

// What to send: an MP3 file (or a resource of the program) into a slot, at the pad's volume.
struct ClipSendRequest {
    std::u16string path;
    bool fromResource = false;
    int slot = 0;      // 0..4
    int volume = 100;  // 0..100
};

enum class ClipStage { Decoding, WaitingForCard, Sending, Finished };
enum class ClipOutcome { None, Sent, DecodeFailed, ThreadFailed, TransferFailed };

// How much of a clip its slot got: a clip longer than the slot (or than the card's transfer cap)
// is cut, and the user is told so.
struct ClipLength {
    double sourceSeconds = 0;
    double sentSeconds = 0;
    bool cut = false;
};

// What shows a send: the dialog, or lyntctl on a terminal. Called on the UI thread.
class IClipSendView {
public:
    virtual ~IClipSendView() = default;
    virtual void OnClipStage(ClipStage stage) = 0;
    virtual void OnClipProgress(uint32_t sent, uint32_t total) = 0;
    // The last call; the view may destroy the job from here on.
    virtual void OnClipFinished(ClipOutcome outcome) = 0;
};

// One clip's way to the card, on the UI thread: decoder, then the transfer worker. Raises the
// busy flag while it lives, so that the program is not left and the keep-alive stays silent.
// Every way it ends reaches the view once.
class CClipSendJob : public ccm_util::CMessageTarget {
public:
    CClipSendJob(CQVAudioProtocol& protocol, std::atomic<int>& loadingEffect, IClipSendView& view);
    ~CClipSendJob() override;

    void SetResourceReader(CLibmadDecoder::ResourceReader reader);
    // Starts decoding. A decoder that cannot start ends the job (posted, so after Start returns).
    void Start(const ClipSendRequest& request);

    ClipStage Stage() const { return m_stage; }
    ClipOutcome Outcome() const { return m_outcome; }
    // The image the card was sent, once finished (for checks).
    std::vector<uint8_t> Image() const {
        return m_transfer ? m_transfer->Image() : std::vector<uint8_t>{};
    }

    // Known once decoded.
    ClipLength Length() const { return m_length; }

    void OnMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) override;

private:
    void OnDecoded(const EventDecoderFinsh& e);
    void SetStage(ClipStage stage);
    void Finish(ClipOutcome outcome);

    CQVAudioProtocol& m_protocol;
    std::atomic<int>& m_loading;
    IClipSendView& m_view;
    ClipSendRequest m_request;
    std::unique_ptr<CLibmadDecoder> m_decoder;
    std::unique_ptr<CClipTransfer> m_transfer;
    ccm_util::CEventSubscription m_decoded;
    ClipStage m_stage = ClipStage::Decoding;
    ClipOutcome m_outcome = ClipOutcome::None;
    uint32_t m_total = 0;
    ClipLength m_length;
};

}  // namespace sound::clip
