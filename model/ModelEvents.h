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

// A preset radio of the equaliser or reverb/voice dialog was applied, so the main window marks
// that preset too. group 1-3, item the radio's position 1-8.
class EventUpdatePresetBtnStatu : public ccm_util::TypedEvent<EventUpdatePresetBtnStatu> {
public:
    static constexpr int EventID = 10030017;
    static constexpr const char* EventName = "on_event_click_preset";

    EventUpdatePresetBtnStatu(int32_t g, int32_t i) : group(g), item(i) {}
    int32_t group = 0;
    int32_t item = 0;
};

// A custom preset was saved under a new name: the pages refresh their preset captions.
class EventUpdateCustomPresetName : public ccm_util::TypedEvent<EventUpdateCustomPresetName> {
public:
    static constexpr int EventID = 10030014;
    static constexpr const char* EventName = "on_event_updatecustompresetname";
};

// The user's own effects changed other than through the effects page (lyntctl save-effect through
// the panel): the page shows their names again.
class EventMyEffectsChanged : public ccm_util::TypedEvent<EventMyEffectsChanged> {
public:
    static constexpr int EventID = 10030031;
    static constexpr const char* EventName = "on_event_my_effects_changed";
};
