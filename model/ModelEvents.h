#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "CardCommands.h"
#include "ccm_util/EventBus.h"

// Parameters changed (by a knob on the card, an edit of the equaliser or a refresh of the page):
// the (id, value) pairs, in the order they were applied.
class EventParamChanged : public ccm_util::TypedEvent<EventParamChanged> {
public:
    static constexpr int EventID = 10030002;
    static constexpr const char* EventName = "on_param_changed";

    std::vector<std::pair<int32_t, int32_t>> params;
};

// A level-meter frame of the card, for the meters of the page.
class EventVolumeRecvData : public ccm_util::TypedEvent<EventVolumeRecvData> {
public:
    static constexpr int EventID = 10030015;
    static constexpr const char* EventName = "on_event_eventvolumerecvdata";

    explicit EventVolumeRecvData(const card::Frame& frame) : data(frame) {}
    card::Frame data;
};

// The card switched to another of its own effects, so no preset button is current any more.
// The event has no name of its own.
class EventClearPresetBtnStatu : public ccm_util::TypedEvent<EventClearPresetBtnStatu> {
public:
    static constexpr int EventID = 10030019;
    static constexpr const char* EventName = "";
};
