#include "TransportLender.h"

#include <chrono>

#include "Log/Log.h"

#define LOG_SOURCE "CppCommonLib\\common\\Device\\TransportLender"

CTransportLender::CLoan& CTransportLender::CLoan::operator=(CLoan&& other) noexcept {
    if (this != &other) {
        Return();
        m_lender = other.m_lender;
        m_transport = other.m_transport;
        m_generation = other.m_generation;
        other.m_lender = nullptr;
        other.m_transport = nullptr;
    }
    return *this;
}

void CTransportLender::CLoan::Return() {
    if (!m_lender) {
        return;
    }
    {
        // Notified under the lock: once the last loan is back, a detach may return and its owner
        // destroy the lender, so nothing may touch it after the lock is let go.
        std::lock_guard<std::mutex> guard(m_lender->m_mutex);
        --m_lender->m_loans;
        m_lender->m_changed.notify_all();
    }
    m_lender = nullptr;
    m_transport = nullptr;
}

uint64_t CTransportLender::Publish(ICommunicateDevice* transport) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_transport = transport;
    return ++m_generation;
}

CTransportLender::CLoan CTransportLender::Borrow(uint64_t generation) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_transport || (generation != 0 && generation != m_generation)) {
        return CLoan();
    }
    ++m_loans;
    return CLoan(this, m_transport, m_generation);
}

ICommunicateDevice* CTransportLender::Stop() {
    ICommunicateDevice* transport = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        transport = m_transport;
        if (transport) {
            m_transport = nullptr;
            ++m_generation;
        }
    }
    m_changed.notify_all();
    return transport;
}

void CTransportLender::AwaitLoans(uint32_t warnAfterMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_changed.wait_for(lock, std::chrono::milliseconds(warnAfterMs),
                            [this] { return m_loans == 0; })) {
        VLOG_ERROR("device", "CTransportLender::Withdraw",
                   "the transport is still in use after %u ms; waiting for it", warnAfterMs);
        m_changed.wait(lock, [this] { return m_loans == 0; });
    }
}

bool CTransportLender::IsCurrent(uint64_t generation) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_transport && generation == m_generation;
}

bool CTransportLender::WaitEnd(uint64_t generation, uint32_t ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                              [&] { return !m_transport || generation != m_generation; });
}

ICommunicateDevice* CTransportLender::Peek() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_transport;
}
