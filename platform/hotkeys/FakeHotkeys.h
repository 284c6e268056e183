#pragma once

#include "Hotkeys.h"

#include <map>
#include <set>

namespace platform::hotkeys {

// Hotkeys for tests: remembers registrations, refuses values a test marks as held, and delivers
// presses through the UI dispatcher the way the real services do.
class CFakeHotkeys : public IHotkeys {
public:
    explicit CFakeHotkeys(Availability availability = Availability::kX11)
        : m_availability(availability) {}

    RegisterResult Register(int id, uint32_t value) override;
    void Unregister(int id) override { m_registered.erase(id); }
    Availability Available() const override { return m_availability; }
    void SetActivationHandler(std::function<void(int id)> handler) override {
        m_handler = std::move(handler);
    }

    void HoldElsewhere(uint32_t value) { m_heldElsewhere.insert(value); }
    // Presses the key of value: dispatches the activation of the id registered for it, if any.
    bool Press(uint32_t value);
    const std::map<int, uint32_t>& Registered() const { return m_registered; }

private:
    Availability m_availability;
    std::map<int, uint32_t> m_registered;
    std::set<uint32_t> m_heldElsewhere;
    std::function<void(int id)> m_handler;
};

}  // namespace platform::hotkeys
