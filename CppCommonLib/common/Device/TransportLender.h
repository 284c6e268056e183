#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

class ICommunicateDevice;

// Lends the attached transport to the threads that use it (senders, the receive loop) and lets a
// detach wait until every loan has come back, so that once Withdraw returned nothing touches the
// transport again and its owner may close or destroy it. Each attach starts a new generation; a
// thread that saw an older one knows its card is gone even if another is attached by now.
class CTransportLender {
public:
    class CLoan {
    public:
        CLoan() = default;
        CLoan(CLoan&& other) noexcept { *this = std::move(other); }
        CLoan& operator=(CLoan&& other) noexcept;
        ~CLoan() { Return(); }
        CLoan(const CLoan&) = delete;
        CLoan& operator=(const CLoan&) = delete;

        explicit operator bool() const { return m_transport != nullptr; }
        ICommunicateDevice* operator->() const { return m_transport; }
        ICommunicateDevice* Get() const { return m_transport; }
        uint64_t Generation() const { return m_generation; }
        void Return();

    private:
        friend class CTransportLender;
        CLoan(CTransportLender* lender, ICommunicateDevice* transport, uint64_t generation)
            : m_lender(lender), m_transport(transport), m_generation(generation) {}
        CTransportLender* m_lender = nullptr;
        ICommunicateDevice* m_transport = nullptr;
        uint64_t m_generation = 0;
    };

    // Makes the transport available and starts a new generation, which it returns.
    uint64_t Publish(ICommunicateDevice* transport);
    // The current transport, or an empty loan when none is attached. When `generation` is given,
    // only a transport of that generation is lent.
    CLoan Borrow(uint64_t generation = 0);
    // Stops lending, calls wake(transport) so blocked borrowers let go, then waits until every
    // loan is back (logging once after warnAfterMs). Returns the transport, or null when none was
    // attached.
    template <typename Wake>
    ICommunicateDevice* Withdraw(Wake wake, uint32_t warnAfterMs);

    bool IsCurrent(uint64_t generation) const;
    // Waits up to ms for the generation to end; true when it has.
    bool WaitEnd(uint64_t generation, uint32_t ms);
    ICommunicateDevice* Peek() const;

private:
    ICommunicateDevice* Stop();
    void AwaitLoans(uint32_t warnAfterMs);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    ICommunicateDevice* m_transport = nullptr;
    uint64_t m_generation = 0;
    int m_loans = 0;
};

template <typename Wake>
ICommunicateDevice* CTransportLender::Withdraw(Wake wake, uint32_t warnAfterMs) {
    ICommunicateDevice* transport = Stop();
    if (transport) {
        wake(transport);
        AwaitLoans(warnAfterMs);
    }
    return transport;
}
