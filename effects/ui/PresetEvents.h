#pragma once

#include <cstdint>

#include "ccm_util/EventBus.h"

// A preset button of a dialog was applied: the pages check the same preset (group 1 equaliser,
// 2 reverb, 3 voice; index 1-8 as the buttons count).
class EventUpdatePresetBtnStatu : public ccm_util::TypedEvent<EventUpdatePresetBtnStatu> {
public:
    static constexpr int EventID = 10030017;
    static constexpr const char* EventName = "on_event_click_preset";

    EventUpdatePresetBtnStatu(int32_t g, int32_t i) : group(g), index(i) {}
    int32_t group;
    int32_t index;
};

// A custom preset was saved under a new name: the pages refresh their preset captions.
class EventUpdateCustomPresetName : public ccm_util::TypedEvent<EventUpdateCustomPresetName> {
public:
    static constexpr int EventID = 10030014;
    static constexpr const char* EventName = "on_event_updatecustompresetname";
};
