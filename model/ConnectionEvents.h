#pragma once

#include "ccm_util/EventBus.h"

// The card came or went, or its session started or ended. It carries nothing: listeners read
// the workspace's connected flag and the device manager's state. app/core's connection fires it
// and the pages of effects/ and sound/ follow it, so it lives below them all.
class EventDeviceChanged : public ccm_util::TypedEvent<EventDeviceChanged> {
public:
    static constexpr int EventID = 10030008;
    static constexpr const char* EventName = "on_device_changed";
};
