#include "ClipSendJob.h"

#include "ClipEvents.h"
#include "ClipImage.h"
#include "ClipSlots.h"
#include "Log/Log.h"

#define LOG_SOURCE "sound\\clip\\ClipSendJob"

namespace sound::clip {

namespace {
constexpr double kSaidCutSeconds = 0.05;
}  // namespace

CClipSendJob::CClipSendJob(CQVAudioProtocol& protocol, std::atomic<int>& loadingEffect,
                           IClipSendView& view)
    : m_protocol(protocol),
      m_loading(loadingEffect),
      m_view(view),
      m_decoder(std::make_unique<CLibmadDecoder>()) {
    ++m_loading;
    m_decoded = ccm_util::CEventSubscription::Of<EventDecoderFinsh>(
        [this](const EventDecoderFinsh& e) { OnDecoded(e); });
}

CClipSendJob::~CClipSendJob() {
    m_decoded.Reset();
    m_transfer.reset();  // stops after the block in hand
    m_decoder.reset();   // and with it the decoded file
    --m_loading;
}

void CClipSendJob::SetResourceReader(CLibmadDecoder::ResourceReader reader) {
    m_decoder->SetResourceReader(std::move(reader));
}

void CClipSendJob::Start(const ClipSendRequest& request) {
    m_request = request;
    SetStage(ClipStage::Decoding);
    if (!m_decoder->Start(request.path, GainOfVolume(request.volume), request.fromResource,
                          SlotSeconds(request.slot))) {
        // No completion event will come; the user cannot close the dialog, so end it here.
        ccm_util::PostMessage(Handle(), UM_CLIP_FINISHED, CClipTransfer::kNothingToSend, 0);
    }
}

void CClipSendJob::OnDecoded(const EventDecoderFinsh& e) {
    if (e.decoder != m_decoder->Id() || m_stage != ClipStage::Decoding) {
        return;
    }
    m_decoder->Stop();
    if (e.result != 1) {
        Finish(ClipOutcome::DecodeFailed);
        return;
    }
    SetStage(ClipStage::WaitingForCard);
    std::vector<uint8_t> image = m_decoder->TakeImage();
    const size_t sent = PlanClipTransfer(image.size()).byteCount;
    m_length.sourceSeconds = m_decoder->SourceSeconds();
    m_length.sentSeconds = sent > kWaveHeaderBytes
                               ? static_cast<double>(sent - kWaveHeaderBytes) / kCardBytesPerSecond
                               : 0.0;
    // A clip a few milliseconds over its slot loses no more than its encoder's padding; what is
    // said to be cut is what shows in tenths of a second.
    m_length.cut = (m_decoder->CutToSlot() &&
                    m_length.sourceSeconds - m_length.sentSeconds >= kSaidCutSeconds) ||
                   sent < image.size();
    m_transfer =
        std::make_unique<CClipTransfer>(m_protocol, std::move(image), m_request.slot, Handle());
    if (!m_transfer->Start()) {
        VLOG_ERROR("clip", "CClipSendJob::OnDecoded", "no transfer thread");
        Finish(ClipOutcome::ThreadFailed);
    }
}

void CClipSendJob::OnMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) {
    if (m_stage == ClipStage::Finished) {
        return;
    }
    switch (msg) {
        case UM_CLIP_HEADER_ACCEPTED:
            m_total = static_cast<uint32_t>(lParam);
            SetStage(ClipStage::Sending);
            m_view.OnClipProgress(0, m_total);
            break;
        case UM_CLIP_BLOCK_ACCEPTED:
            m_view.OnClipProgress(static_cast<uint32_t>(wParam), m_total);
            break;
        case UM_CLIP_FINISHED:
            m_decoder->Stop();
            Finish(wParam == CClipTransfer::kSent         ? ClipOutcome::Sent
                   : wParam == CClipTransfer::kCardFailed ? ClipOutcome::TransferFailed
                                                          : ClipOutcome::DecodeFailed);
            break;
        default:
            break;
    }
}

void CClipSendJob::SetStage(ClipStage stage) {
    m_stage = stage;
    m_view.OnClipStage(stage);
}

void CClipSendJob::Finish(ClipOutcome outcome) {
    m_outcome = outcome;
    m_stage = ClipStage::Finished;
    m_decoded.Reset();
    m_view.OnClipFinished(outcome);  // may delete this
}

}  // namespace sound::clip
