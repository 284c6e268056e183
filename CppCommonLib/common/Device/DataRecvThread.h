#pragma once

#include <atomic>

#include "ccm_util/ThreadObject.h"

class ICommDeviceMgmt;

// The device manager's receive thread: lives as long as the manager and runs one receive loop
// per attached device, each started by the go event.
class CDataRecvThread : public ccm_util::CThreadObject {
public:
    CDataRecvThread();
    ~CDataRecvThread() override;

    bool Start(ICommDeviceMgmt* manager);
    void Stop();
    // Starts one receive loop; restarts the thread when the previous loop never returned.
    void OnConnectDevice();
    bool IsLoopIdle() { return m_idle.IsSet(); }

protected:
    int Run() override;

private:
    std::atomic<bool> m_run{false};
    ccm_util::CEvent m_go{false, false};
    ccm_util::CEvent m_idle{false, true};
    std::atomic<ICommDeviceMgmt*> m_manager{nullptr};
};
