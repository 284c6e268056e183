#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "Hotkeys.h"

// The hotkey service has one activation handler; the effects page and the sound-pad page both
// take presses. Each page gets a port that serves ids in its range: registration goes straight to
// the service, a press goes to the port whose range holds its id.
class CHotkeyFanOut {
public:
    explicit CHotkeyFanOut(platform::hotkeys::IHotkeys& service) : m_service(service) {
        m_service.SetActivationHandler([this](int id) {
            for (const auto& port : m_ports) {
                if (id >= port->first && id <= port->last && port->handler) {
                    port->handler(id);
                    return;
                }
            }
        });
    }
    ~CHotkeyFanOut() { m_service.SetActivationHandler(nullptr); }
    CHotkeyFanOut(const CHotkeyFanOut&) = delete;
    CHotkeyFanOut& operator=(const CHotkeyFanOut&) = delete;

    // The port for ids first..last (the same one each time it is asked for); it lives as long as
    // the fan-out.
    platform::hotkeys::IHotkeys* Port(int first, int last) {
        for (const auto& port : m_ports) {
            if (port->first == first && port->last == last) {
                return port.get();
            }
        }
        m_ports.push_back(std::make_unique<CPort>(m_service, first, last));
        return m_ports.back().get();
    }

private:
    class CPort : public platform::hotkeys::IHotkeys {
    public:
        CPort(platform::hotkeys::IHotkeys& service, int from, int to)
            : first(from), last(to), m_service(service) {}
        platform::hotkeys::RegisterResult Register(int id, uint32_t value) override {
            return m_service.Register(id, value);
        }
        void Unregister(int id) override { m_service.Unregister(id); }
        platform::hotkeys::Availability Available() const override { return m_service.Available(); }
        void SetActivationHandler(std::function<void(int id)> h) override {
            handler = std::move(h);
        }
        const int first;
        const int last;
        std::function<void(int id)> handler;

    private:
        platform::hotkeys::IHotkeys& m_service;
    };

    platform::hotkeys::IHotkeys& m_service;
    std::vector<std::unique_ptr<CPort>> m_ports;
};
