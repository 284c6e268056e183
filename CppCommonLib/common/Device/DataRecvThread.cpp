#include "DataRecvThread.h"

#include "ICommDeviceMgmt.h"

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
    // The manager detaches before it stops this thread, so no loop is running and the join
    // returns at once; a thread is never killed under its own feet.
    StopAndJoin(2000);
}

void CDataRecvThread::OnConnectDevice() { m_go.Set(); }

int CDataRecvThread::Run() {
    while (m_run) {
        m_go.Wait(ccm_util::kInfinite);
        if (!m_run) {
            break;
        }
        if (ICommDeviceMgmt* manager = m_manager) {
            manager->RecvThreadProc();
        }
    }
    return 0;
}
