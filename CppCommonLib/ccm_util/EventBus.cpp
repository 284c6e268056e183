#include "EventBus.h"

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
    m_subscribers.emplace(id, Entry{eventId, std::make_shared<EventHandler>(std::move(handler))});
    return id;
}

void EventBus::Unsubscribe(int subscription) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_subscribers.erase(subscription);
}

void EventBus::Fire(const EventArgs& event) {
    // Handlers may subscribe or unsubscribe while they run; take a snapshot and check each one is
    // still subscribed before calling it.
    std::vector<std::pair<int, std::shared_ptr<EventHandler>>> handlers;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        for (const auto& [id, entry] : m_subscribers) {
            if (entry.eventId == event.GetID()) {
                handlers.emplace_back(id, entry.handler);
            }
        }
    }
    for (auto& [id, handler] : handlers) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_subscribers.find(id) == m_subscribers.end()) {
                continue;
            }
        }
        (*handler)(event);
    }
}

bool EventBus::Post(std::shared_ptr<const EventArgs> event) {
    return DispatchToUi([this, event = std::move(event)] { Fire(*event); });
}

size_t EventBus::SubscriberCount(int eventId) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    size_t n = 0;
    for (const auto& [id, entry] : m_subscribers) {
        n += entry.eventId == eventId ? 1 : 0;
    }
    return n;
}

}  // namespace ccm_util
