#include "ThreadObject.h"

#include "LastResort.h"
#include "Log/Log.h"

#define LOG_SOURCE "CppCommonLib\\ccm_util\\ThreadObject"

namespace ccm_util {

CThreadObject::CThreadObject() = default;

CThreadObject::~CThreadObject() {
    // The derived part is gone by now; a thread still running here would call into it.
    if (m_thread.joinable()) {
        m_stop.Set();
        m_thread.join();
    }
}

bool CThreadObject::StartThread() {
    if (m_thread.joinable()) {
        if (!m_finished.IsSet()) {
            return false;
        }
        m_thread.join();
    }
    m_finished.Reset();
    m_stop.Reset();
    m_thread = std::thread([this] { Entry(); });
    return true;
}

void CThreadObject::Entry() {
    m_running.Set();
    // A body that throws has failed; the events still tell its end, so no join waits forever.
    CallGuarded("CThreadObject::Entry", [this] { return Run() == 0; });
    m_running.Reset();
    m_finished.Set();
}

void CThreadObject::StopAndJoin(uint32_t warnAfterMs) {
    if (!m_thread.joinable()) {
        return;
    }
    m_stop.Set();
    if (!m_finished.Wait(warnAfterMs)) {
        VLOG_ERROR("device", "CThreadObject::StopAndJoin",
                   "thread did not end within %u ms; still waiting for it", warnAfterMs);
    }
    Join();
}

void CThreadObject::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
    }
}

}  // namespace ccm_util
