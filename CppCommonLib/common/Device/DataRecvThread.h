#pragma once

#include <atomic>

#include "ccm_util/ThreadObject.h"

class ICommDeviceMgmt;

// The device manager's receive thread: lives as long as the manager and runs one receive loop
// per attached device, each started by the go event. The manager's detach waits for a loop to
// leave, so a loop never outlives its device and a restart never finds the previous one running.
class CDataRecvThread : public ccm_util::CThreadObject {
public:
    CDataRecvThread();
    ~CDataRecvThread() override;

    bool Start(ICommDeviceMgmt* manager);
    void Stop();
    // Starts one receive loop for the device just attached.
    void OnConnectDevice();

protected:
    int Run() override;

private:
    std::atomic<bool> m_run{false};
    ccm_util::CEvent m_go{false, false};
    std::atomic<ICommDeviceMgmt*> m_manager{nullptr};
};
