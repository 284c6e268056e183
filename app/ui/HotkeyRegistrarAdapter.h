#pragma once

#include "HotkeyRegistrar.h"
#include "Hotkeys.h"

// The sound-pad store registers its hotkeys through the platform's hotkey service.
class CHotkeyRegistrarAdapter : public sound::IHotkeyRegistrar {
public:
    explicit CHotkeyRegistrarAdapter(platform::hotkeys::IHotkeys& service) : m_service(service) {}
    bool Register(int id, uint32_t hotkey) override {
        return m_service.Register(id, hotkey) == platform::hotkeys::RegisterResult::kOk;
    }
    void Unregister(int id) override { m_service.Unregister(id); }

private:
    platform::hotkeys::IHotkeys& m_service;
};
