#pragma once

#include <cstdint>

#include "ccm_util/EventBus.h"

namespace sound {

// The player reached the end of its media (code kEventEndOfMedia). Posted from the engine's
// thread; sender tells whose player it was and is only compared, never followed.
class EventPlaybackMsg : public ccm_util::TypedEvent<EventPlaybackMsg> {
public:
    static constexpr int EventID = 10030004;
    static constexpr const char* EventName = "on_event_playback_msg";
    EventPlaybackMsg(const void* from, uint32_t what) : sender(from), code(what) {}
    const void* sender;
    uint32_t code;
};

// The sound pads' volume popup moved to a new volume (0..100).
class EventVolumeChange : public ccm_util::TypedEvent<EventVolumeChange> {
public:
    static constexpr int EventID = 10030012;
    static constexpr const char* EventName = "on_event_volumechange";
    explicit EventVolumeChange(int value) : volume(value) {}
    int volume;
};

}  // namespace sound
