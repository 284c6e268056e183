#pragma once

#include <atomic>
#include <functional>

#include "ccm_util/ThreadObject.h"

class ICommDeviceMgmt;

// Keeps the card aware that the control panel is there: whenever nothing was exchanged for
// longer than the manager's idle threshold, it sends host state 1 without waiting for a reply.
class CConnectWorkThread : public ccm_util::CThreadObject {
public:
    static constexpr uint32_t kCheckPeriodMs = 500;

    // manager() is asked on every round (it may be null); loadingEffect silences the worker while
    // a clip is being loaded into the card, upgrading (may be null) while its firmware is written.
    CConnectWorkThread(std::function<ICommDeviceMgmt*()> manager,
                       const std::atomic<int>& loadingEffect, uint32_t periodMs = kCheckPeriodMs,
                       const std::atomic<int>* upgrading = nullptr);
    ~CConnectWorkThread() override;

    bool Start();
    void Stop(uint32_t waitMs = 2000);

protected:
    int Run() override;

private:
    std::function<ICommDeviceMgmt*()> m_manager;
    const std::atomic<int>& m_loadingEffect;
    const std::atomic<int>* m_upgrading;
    const uint32_t m_periodMs;
    std::atomic<bool> m_run{false};
};
