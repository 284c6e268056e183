#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "ClipImage.h"
#include "ccm_util/MessagePoster.h"
#include "ccm_util/ThreadObject.h"

class CQVAudioProtocol;

namespace sound::clip {

// Worker that sends the card's image to a slot, block by block, each awaited. Reports to notify:
// UM_CLIP_HEADER_ACCEPTED, UM_CLIP_BLOCK_ACCEPTED at each thousandth of the image sent and after
// the last block, and UM_CLIP_FINISHED with wParam kSent, kCardFailed or kNothingToSend.
class CClipTransfer : private ccm_util::CThreadObject {
public:
    static constexpr ccm_util::WPARAM kSent = 0;
    static constexpr ccm_util::WPARAM kCardFailed = 1;
    static constexpr ccm_util::WPARAM kNothingToSend = 2;

    CClipTransfer(CQVAudioProtocol& protocol, std::vector<uint8_t> image, int slot,
                  ccm_util::WindowHandle notify);
    // Asks the worker to stop after the block in hand and waits for it.
    ~CClipTransfer() override;

    bool Start() { return StartThread(); }
    bool Running() const { return IsRunning(); }
    // The image sent (or being sent); read it only after UM_CLIP_FINISHED.
    const std::vector<uint8_t>& Image() const { return m_image; }

private:
    int Run() override;
    bool Send();

    CQVAudioProtocol& m_protocol;
    const int m_slot;
    const ccm_util::WindowHandle m_notify;
    std::vector<uint8_t> m_image;
};

}  // namespace sound::clip
