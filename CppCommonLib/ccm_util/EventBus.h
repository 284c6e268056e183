#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace ccm_util {

// An event of the UI event bus: a numeric id and an "on_..." name. Concrete events derive from it
// and declare `static constexpr int EventID` and `static constexpr const char* EventName`.
class EventArgs {
public:
    EventArgs(int id, const char* name) : m_id(id), m_name(name) {}
    virtual ~EventArgs() = default;
    int GetID() const { return m_id; }
    const char* GetName() const { return m_name; }

private:
    int m_id;
    const char* m_name;
};

template <typename Derived>
class TypedEvent : public EventArgs {
public:
    TypedEvent() : EventArgs(Derived::EventID, Derived::EventName) {}
};

using EventHandler = std::function<void(const EventArgs&)>;

// The process's event bus. Handlers run on the UI thread: Fire calls them at once on the calling
// (UI) thread; Post hands the event to the installed dispatcher from any thread.
class EventBus {
public:
    static EventBus& Instance();

    int Subscribe(int eventId, EventHandler handler);
    void Unsubscribe(int subscription);

    template <typename E>
    int Subscribe(std::function<void(const E&)> handler) {
        return Subscribe(E::EventID, [h = std::move(handler)](const EventArgs& e) {
            h(static_cast<const E&>(e));
        });
    }

    void Fire(const EventArgs& event);
    // False (and the event dropped) when no dispatcher is installed yet.
    bool Post(std::shared_ptr<const EventArgs> event);

    size_t SubscriberCount(int eventId) const;

private:
    EventBus() = default;

    using Handlers = std::map<int, std::shared_ptr<EventHandler>>;  // by subscription, in order
    bool IsSubscribed(int eventId, int subscription) const;

    mutable std::mutex m_mutex;
    // By event: a Fire looks at its own event's handlers only (some events come many times a
    // second, and the process has many subscribers).
    std::map<int, Handlers> m_byEvent;
    std::map<int, int> m_eventOf;  // subscription → event
    int m_next = 1;
};

// Unsubscribes in its destructor, so no event reaches a subscriber that is gone.
class CEventSubscription {
public:
    CEventSubscription() = default;
    template <typename E>
    static CEventSubscription Of(std::function<void(const E&)> handler) {
        CEventSubscription s;
        s.m_id = EventBus::Instance().Subscribe<E>(std::move(handler));
        return s;
    }
    CEventSubscription(int eventId, EventHandler handler)
        : m_id(EventBus::Instance().Subscribe(eventId, std::move(handler))) {}
    ~CEventSubscription() { Reset(); }
    CEventSubscription(CEventSubscription&& other) noexcept : m_id(other.m_id) { other.m_id = 0; }
    CEventSubscription& operator=(CEventSubscription&& other) noexcept {
        if (this != &other) {
            Reset();
            m_id = other.m_id;
            other.m_id = 0;
        }
        return *this;
    }
    void Reset() {
        if (m_id) {
            EventBus::Instance().Unsubscribe(m_id);
            m_id = 0;
        }
    }

private:
    int m_id = 0;
};

}  // namespace ccm_util
