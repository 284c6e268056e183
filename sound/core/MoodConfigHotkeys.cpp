#include <algorithm>

#include "Log/Log.h"
#include "MoodConfig.h"
#include "MoodFile.h"

#define LOG_SOURCE "sound\\core\\MoodConfigHotkeys"

namespace sound {

namespace {
constexpr const char* kTag = "mood";
}  // namespace

std::map<int, uint32_t> CMoodConfig::WantedHotkeys() const {
    std::map<int, uint32_t> wanted;
    for (size_t i = 0; i < m_favourites.size(); ++i) {
        if (m_favourites[i].hotkey != 0) {
            wanted[kFavouriteHotkeyBase + static_cast<int>(i)] = m_favourites[i].hotkey;
        }
    }
    for (const auto& [id, hotkey] : m_effectHotkeys) {
        if (hotkey != 0) {
            wanted[id] = hotkey;
        }
    }
    return wanted;
}

void CMoodConfig::RegisterHotkeys() {
    const std::map<int, uint32_t> wanted = WantedHotkeys();
    // Release first: a key that moved to another id (a favourite moved up) is free again before
    // it is registered under its new id.
    for (auto it = m_registered.begin(); it != m_registered.end();) {
        const auto want = wanted.find(it->first);
        if (want != wanted.end() && want->second == it->second) {
            ++it;
            continue;
        }
        if (m_registrar != nullptr) {
            m_registrar->Unregister(it->first);
        }
        it = m_registered.erase(it);
    }
    if (m_registrar == nullptr) {
        return;
    }
    for (const auto& [id, hotkey] : wanted) {
        if (m_registered.count(id) != 0) {
            continue;
        }
        TryRegister(id, hotkey);
    }
}

void CMoodConfig::TryRegister(int id, uint32_t hotkey) {
    if (m_registrar == nullptr) {
        return;
    }
    if (!IsRegistrableHotkey(hotkey)) {
        VLOG_ERROR(kTag, "CMoodConfig::TryRegister", "id %d: hotkey 0x%08X is no key", id, hotkey);
        return;
    }
    if (m_registrar->Register(id, hotkey)) {
        m_registered[id] = hotkey;
    } else {
        VLOG_WARN(kTag, "CMoodConfig::TryRegister", "id %d: hotkey 0x%08X not registered", id,
                  hotkey);
    }
}

void CMoodConfig::UnregisterHotkeys() {
    if (m_registrar != nullptr) {
        for (const auto& entry : m_registered) {
            m_registrar->Unregister(entry.first);
        }
    }
    m_registered.clear();
}

void CMoodConfig::SetHotkeyRegistrar(IHotkeyRegistrar* registrar) {
    if (registrar == m_registrar) {
        return;
    }
    UnregisterHotkeys();
    m_registrar = registrar;
}

bool CMoodConfig::SetHotkeysEnabled(bool on) {
    if (m_hotkeysEnabled && !on) {
        UnregisterHotkeys();
    } else if (!m_hotkeysEnabled && on) {
        RegisterHotkeys();
    }
    m_hotkeysEnabled = on;
    MoodChanges changes;
    changes.hotkeysEnabled = on;
    return !m_path.empty() && m_writer.Write(m_path, std::move(changes));
}

bool CMoodConfig::IsHotkeyInUse(uint32_t hotkey) const {
    if (hotkey == 0) {
        return false;
    }
    return std::any_of(m_favourites.begin(), m_favourites.end(),
                       [&](const MoodItem& f) { return f.hotkey == hotkey; }) ||
           std::any_of(m_effectHotkeys.begin(), m_effectHotkeys.end(),
                       [&](const auto& entry) { return entry.second == hotkey; });
}

bool CMoodConfig::SetEffectHotkey(int id, uint32_t hotkey) {
    // Ids from the base up are the favourites'.
    if (id <= 0 || id >= kFavouriteHotkeyBase) {
        VLOG_ERROR(kTag, "CMoodConfig::SetEffectHotkey", "id %d is no effect button", id);
        return false;
    }
    m_effectHotkeys[id] = hotkey;
    if (m_hotkeysEnabled) {
        // Only this id: the page sets its buttons up one by one, and a key another program holds
        // need not be asked for again each time.
        const auto registered = m_registered.find(id);
        if (registered != m_registered.end() && registered->second != hotkey) {
            if (m_registrar != nullptr) {
                m_registrar->Unregister(id);
            }
            m_registered.erase(registered);
        }
        if (hotkey != 0 && m_registered.count(id) == 0) {
            TryRegister(id, hotkey);
        }
    }
    return true;
}

uint32_t CMoodConfig::GetEffectHotkey(int id) const {
    const auto it = m_effectHotkeys.find(id);
    return it == m_effectHotkeys.end() ? 0 : it->second;
}

}  // namespace sound
