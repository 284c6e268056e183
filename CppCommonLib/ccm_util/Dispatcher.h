#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace ccm_util {

// Runs work on the UI thread. The application installs one backed by its event loop; tests and
// the command-line client install a manual one and pump it.
class IDispatcher {
public:
    virtual ~IDispatcher() = default;
    // Queues fn to run later on the UI thread; callable from any thread.
    virtual void Dispatch(std::function<void()> fn) = 0;
};

// Installs the process's dispatcher (null removes it). Work dispatched while none is installed
// is dropped, as events posted before the UI exists are.
void InstallDispatcher(IDispatcher* dispatcher);
// Queues fn on the installed dispatcher; false (and fn dropped) when there is none.
bool DispatchToUi(std::function<void()> fn);

// A queue that runs its work only when pumped, on the pumping thread.
class CManualDispatcher : public IDispatcher {
public:
    void Dispatch(std::function<void()> fn) override;
    // Runs everything queued so far (and what that queues); returns how many ran.
    size_t Pump();
    // Waits up to ms for work, then runs it; returns how many ran.
    size_t PumpFor(uint32_t ms);
    // Pumps until pred() holds or ms passes; returns pred().
    bool PumpUntil(const std::function<bool()>& pred, uint32_t ms);
    size_t Pending() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<std::function<void()>> m_queue;
};

// Installs a dispatcher for the lifetime of the object and restores the previous one after.
class CScopedDispatcher {
public:
    explicit CScopedDispatcher(IDispatcher* dispatcher);
    ~CScopedDispatcher();
    CScopedDispatcher(const CScopedDispatcher&) = delete;
    CScopedDispatcher& operator=(const CScopedDispatcher&) = delete;

private:
    IDispatcher* m_previous;
};

IDispatcher* CurrentDispatcher();

}  // namespace ccm_util
