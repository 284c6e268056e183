#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "ccm_util/EventBus.h"

// The clip decoder's end, posted to the UI thread.
class EventDecoderFinsh : public ccm_util::TypedEvent<EventDecoderFinsh> {
public:
    static constexpr int EventID = 10030011;
    static constexpr const char* EventName = "on_event_decoder_staus";

    EventDecoderFinsh(uint64_t decoderId, int result) : decoder(decoderId), result(result) {}
    uint64_t decoder;  // which decoder ended: only its owner acts on it
    int result;        // 1 decoded (the image waits in the decoder), 0 nothing to send
};

// A clip to send to the card, raised by the sound-pad page (a cloud sound downloaded for it).
class EventDoSendData : public ccm_util::TypedEvent<EventDoSendData> {
public:
    static constexpr int EventID = 10030013;
    static constexpr const char* EventName = "on_event_dosenddata";

    EventDoSendData(std::u16string clipPath, bool resource)
        : path(std::move(clipPath)), fromResource(resource) {}
    std::u16string path;
    bool fromResource;
};

// Window messages of the clip transfer worker.
inline constexpr uint32_t UM_CLIP_HEADER_ACCEPTED = 8889;  // lParam: bytes to send
inline constexpr uint32_t UM_CLIP_BLOCK_ACCEPTED = 8828;   // wParam: bytes sent so far
inline constexpr uint32_t UM_CLIP_FINISHED = 8842;         // wParam: 0 sent, 1 failed
