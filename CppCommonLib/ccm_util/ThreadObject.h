#pragma once

#include <cstdint>
#include <thread>

#include "Event.h"

namespace ccm_util {

// Base of the worker threads. The running event is set while Run executes; the stop event asks
// the body to finish. Derived classes call Join (or StopAndJoin) in their own destructor, before
// their members go away, since the body runs virtual code of the derived object.
class CThreadObject {
public:
    CThreadObject();
    virtual ~CThreadObject();
    CThreadObject(const CThreadObject&) = delete;
    CThreadObject& operator=(const CThreadObject&) = delete;

    // Starts the thread; false when it is running already.
    bool StartThread();
    // Sets the stop event and waits for the body to return. A body that overstays `warnAfterMs`
    // is logged and still waited for: a thread is never killed under its own feet.
    void StopAndJoin(uint32_t warnAfterMs);
    bool IsRunning() const { return m_running.IsSet(); }
    bool IsStopRequested() const { return m_stop.IsSet(); }
    CEvent& RunningEvent() { return m_running; }
    CEvent& StopEvent() { return m_stop; }

protected:
    virtual int Run() = 0;
    void Join();

private:
    void Entry();

    CEvent m_running{true, false};
    CEvent m_stop{true, false};
    CEvent m_finished{true, true};
    std::thread m_thread;
};

}  // namespace ccm_util
