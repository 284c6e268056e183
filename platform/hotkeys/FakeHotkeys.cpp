#include "FakeHotkeys.h"

#include "ccm_util/Dispatcher.h"

namespace platform::hotkeys {

RegisterResult CFakeHotkeys::Register(int id, uint32_t value) {
    if (m_availability == Availability::kUnavailable) {
        return RegisterResult::kUnavailable;
    }
    if (m_heldElsewhere.count(value)) {
        return RegisterResult::kHeldByOther;
    }
    for (const auto& [other, held] : m_registered) {
        if (other != id && held == value) {
            return RegisterResult::kHeldByOther;
        }
    }
    m_registered[id] = value;
    return RegisterResult::kOk;
}

bool CFakeHotkeys::Press(uint32_t value) {
    for (const auto& [id, held] : m_registered) {
        if (held == value && m_handler) {
            return ccm_util::DispatchToUi([handler = m_handler, id = id] { handler(id); });
        }
    }
    return false;
}

}  // namespace platform::hotkeys
