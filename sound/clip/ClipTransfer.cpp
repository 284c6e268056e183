#include "ClipTransfer.h"

#include <algorithm>

#include "ClipEvents.h"
#include "Log/Log.h"

#define LOG_SOURCE "sound\\clip\\ClipTransfer"
#include "QVAudioProtocol.h"
#include "common/Device/ICommDeviceMgmt.h"

namespace sound::clip {

CClipTransfer::CClipTransfer(CQVAudioProtocol& protocol, std::vector<uint8_t> image, int slot,
                             ccm_util::WindowHandle notify)
    : m_protocol(protocol), m_slot(slot), m_notify(notify), m_image(std::move(image)) {}

CClipTransfer::~CClipTransfer() {
    StopAndJoin(7000);
}

int CClipTransfer::Run() {
    if (m_image.empty()) {
        ccm_util::PostMessage(m_notify, UM_CLIP_FINISHED, kNothingToSend, 0);
        return 1;
    }
    const bool sent = Send();
    ccm_util::PostMessage(m_notify, UM_CLIP_FINISHED, sent ? kSent : kCardFailed, 0);
    return sent ? 0 : 1;
}

bool CClipTransfer::Send() {
    const ClipTransferPlan plan = PlanClipTransfer(m_image.size());
    card::Frame request = MakeClipBeginFrame(m_slot, plan);
    card::Frame reply{};
    card::Timing timing = m_protocol.TimingOf(card::kClipBeginTiming);
    ICommDeviceMgmt* manager = m_protocol.DeviceMgmt();
    if (!manager || !manager->SendAndReceive(request.data(), reply.data(), timing.tries,
                                             timing.timeoutMs, false)) {
        VLOG_ERROR("clip", "CClipTransfer::Send", "the card did not take the clip header");
        return false;
    }
    ccm_util::PostMessage(m_notify, UM_CLIP_HEADER_ACCEPTED, 0, plan.byteCount);
    timing = m_protocol.TimingOf(card::kClipDataTiming);
    uint32_t shownPermille = 0;
    for (uint32_t index = 0; index < plan.blockCount; ++index) {
        manager = m_protocol.DeviceMgmt();
        request = MakeClipDataFrame(m_image, plan, index);
        if (IsStopRequested() || !manager ||
            !manager->SendAndReceive(request.data(), reply.data(), timing.tries, timing.timeoutMs,
                                     false)) {
            VLOG_ERROR("clip", "CClipTransfer::Send", "block %u of %u not taken", index,
                       plan.blockCount);
            return false;
        }
        const uint32_t sent = std::min<uint32_t>(
            (index + 1) * static_cast<uint32_t>(card::kClipChunkBytes), plan.byteCount);
        // Reported at each thousandth and at the end: a report per block woke the receiver up
        // to 61 792 times a clip for a bar that shows whole percents.
        const auto permille = static_cast<uint32_t>(uint64_t{sent} * 1000 / plan.byteCount);
        if (permille != shownPermille || index + 1 == plan.blockCount) {
            shownPermille = permille;
            ccm_util::PostMessage(m_notify, UM_CLIP_BLOCK_ACCEPTED, sent, 0);
        }
    }
    return true;
}

}  // namespace sound::clip
