#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "ccm_util/EventBus.h"

// What the cloud sound workers post to the UI thread. `worker` identifies the worker that ended;
// it is only compared, never followed, since its owner deletes it while handling the event.
namespace sound {

// The list worker ended: categories and their clips are in the store when success is set.
class EventThreadCloudSoundFinishEvent
    : public ccm_util::TypedEvent<EventThreadCloudSoundFinishEvent> {
public:
    static constexpr int EventID = 10030005;
    static constexpr const char* EventName = "on_cloud_sound_finish";

    const void* worker = nullptr;
    uint8_t success = 0;
    std::u16string error;
};

// What a finished clip download is to be used for.
enum CloudSoundMode : int32_t { kCloudPlay = 0, kCloudFavourite = 1, kCloudSendToCard = 2 };

// A clip download ended.
class EventCloudSoundFileReady : public ccm_util::TypedEvent<EventCloudSoundFileReady> {
public:
    static constexpr int EventID = 10030003;
    static constexpr const char* EventName = "on_cloud_sound_ready";

    const void* worker = nullptr;
    int32_t cloudId = 0;
    int32_t padId = 0;
    std::filesystem::path path;
    std::u16string name;
    int32_t mode = kCloudPlay;
    bool success = false;
    std::u16string error;
};

}  // namespace sound
