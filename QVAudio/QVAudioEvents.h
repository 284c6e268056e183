#pragma once

#include "CardCommands.h"
#include "ccm_util/EventBus.h"

// A frame the card sent on its own (levels or a parameter report), for the UI thread.
class EventRecvData : public ccm_util::TypedEvent<EventRecvData> {
public:
    static constexpr int EventID = 10030001;
    static constexpr const char* EventName = "on_recv_data";

    explicit EventRecvData(const card::Frame& frame) : data(frame) {}
    card::Frame data;
};
