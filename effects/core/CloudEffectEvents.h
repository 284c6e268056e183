#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "EffectRecords.h"
#include "ccm_util/EventBus.h"

// What the cloud effect workers post to the UI thread. `sender` identifies the worker that
// ended; it is only compared, never followed, since its owner deletes it while handling the
// event.
namespace effects {

// The list worker ended; entries hold the list when success is set.
class EventThreadCloudEffectFinishEvent
    : public ccm_util::TypedEvent<EventThreadCloudEffectFinishEvent> {
public:
    static constexpr int EventID = 10030006;
    static constexpr const char* EventName = "on_cloud_effect_finish";

    const void* sender = nullptr;
    uint8_t success = 0;
    std::vector<model::CloudEffectEntry> entries;
    std::u16string error;
};

// A worker of the common kind ended; kind 0x6465746C is an effect-file download.
class EventCommonThreadFinishEvent : public ccm_util::TypedEvent<EventCommonThreadFinishEvent> {
public:
    static constexpr int EventID = 10030007;
    static constexpr const char* EventName = "on_thread_finish";
    static constexpr uint32_t kEffectFileKind = 0x6465746C;

    uint32_t kind = 0;
    const void* sender = nullptr;
    // The download's destination stands for the tree node: nodes may be gone by now (a refresh
    // empties the tree), a file name cannot dangle.
    std::filesystem::path destination;
    uint8_t success = 0;
    std::u16string error;
};

// A download or a use of a cloud effect done elsewhere (lyntctl through the panel): the page
// reads the download marks again and redraws.
class EventCloudEffectsChanged : public ccm_util::TypedEvent<EventCloudEffectsChanged> {
public:
    static constexpr int EventID = 10030020;
    static constexpr const char* EventName = "on_cloud_effects_changed";
};

}  // namespace effects
