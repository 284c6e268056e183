#include "EventBus.h"

#include <array>
#include <vector>

#include "Dispatcher.h"

namespace ccm_util {

EventBus& EventBus::Instance() {
    static EventBus bus;
    return bus;
}

int EventBus::Subscribe(int eventId, EventHandler handler) {
    std::lock_guard<std::mutex> guard(m_mutex);
    int id = m_next++;
    m_byEvent[eventId].emplace(id, std::make_shared<EventHandler>(std::move(handler)));
    m_eventOf.emplace(id, eventId);
    return id;
}

void EventBus::Unsubscribe(int subscription) {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = m_eventOf.find(subscription);
    if (it == m_eventOf.end()) {
        return;
    }
    auto handlers = m_byEvent.find(it->second);
    if (handlers != m_byEvent.end()) {
        handlers->second.erase(subscription);
        if (handlers->second.empty()) {
            m_byEvent.erase(handlers);
        }
    }
    m_eventOf.erase(it);
}

bool EventBus::IsSubscribed(int eventId, int subscription) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto handlers = m_byEvent.find(eventId);
    return handlers != m_byEvent.end() && handlers->second.count(subscription) != 0;
}

void EventBus::Fire(const EventArgs& event) {
    // Handlers may subscribe or unsubscribe while they run; take a snapshot and check each one is
    // still subscribed before calling it. Most events have a handler or two: those need no
    // allocation.
    constexpr size_t kInPlace = 4;
    std::array<std::pair<int, std::shared_ptr<EventHandler>>, kInPlace> inPlace;
    std::vector<std::pair<int, std::shared_ptr<EventHandler>>> more;
    size_t count = 0;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto handlers = m_byEvent.find(event.GetID());
        if (handlers == m_byEvent.end()) {
            return;
        }
        for (const auto& [id, handler] : handlers->second) {
            if (count < kInPlace) {
                inPlace[count] = {id, handler};
            } else {
                more.emplace_back(id, handler);
            }
            ++count;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        const auto& [id, handler] = i < kInPlace ? inPlace[i] : more[i - kInPlace];
        if (IsSubscribed(event.GetID(), id)) {
            (*handler)(event);
        }
    }
}

bool EventBus::Post(std::shared_ptr<const EventArgs> event) {
    return DispatchToUi([this, event = std::move(event)] { Fire(*event); });
}

size_t EventBus::SubscriberCount(int eventId) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto handlers = m_byEvent.find(eventId);
    return handlers == m_byEvent.end() ? 0 : handlers->second.size();
}

}  // namespace ccm_util
