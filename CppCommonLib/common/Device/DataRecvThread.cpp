#include "DataRecvThread.h"

#include <thread>

#include "ICommDeviceMgmt.h"
#include "Log/Log.h"

#define LOG_SOURCE "CppCommonLib\\common\\Device\\DataRecvThread"

CDataRecvThread::CDataRecvThread() = default;

CDataRecvThread::~CDataRecvThread() { Stop(); }

bool CDataRecvThread::Start(ICommDeviceMgmt* manager) {
    if (!manager || IsRunning()) {
        return false;
    }
    m_manager = manager;
    m_go.Reset();
    m_run = true;
    if (!StartThread()) {
        m_run = false;
        return false;
    }
    RunningEvent().Wait(ccm_util::kInfinite);
    return true;
}

void CDataRecvThread::Stop() {
    m_run = false;
    m_go.Set();
    // The loop leaves its read as soon as the device is detached (the read is woken), so the
    // join below does not hang; a thread is never killed under its own feet.
    StopAndJoin(2000);
}

void CDataRecvThread::OnConnectDevice() {
    if (!m_idle.Wait(2000)) {
        VLOG_ERROR("device", "CDataRecvThread::OnConnectDevice",
                   "**************check: RecvThreadProc not return");
        ICommDeviceMgmt* manager = m_manager;
        Stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        Start(manager);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        m_idle.Reset();
    }
    m_go.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

int CDataRecvThread::Run() {
    while (m_run) {
        m_go.Wait(ccm_util::kInfinite);
        if (!m_run) {
            break;
        }
        if (ICommDeviceMgmt* manager = m_manager) {
            m_idle.Reset();
            manager->RecvThreadProc();
            m_idle.Set();
        }
    }
    return 0;
}
