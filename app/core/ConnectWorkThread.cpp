#include "ConnectWorkThread.h"

#include "CardCommands.h"
#include "common/Device/ICommDeviceMgmt.h"

CConnectWorkThread::CConnectWorkThread(std::function<ICommDeviceMgmt*()> manager,
                                       const std::atomic<int>& loadingEffect, uint32_t periodMs,
                                       const std::atomic<int>* upgrading)
    : m_manager(std::move(manager)),
      m_loadingEffect(loadingEffect),
      m_upgrading(upgrading),
      m_periodMs(periodMs) {}

CConnectWorkThread::~CConnectWorkThread() { Stop(); }

bool CConnectWorkThread::Start() {
    if (IsRunning()) {
        return true;
    }
    m_run = true;
    if (!StartThread()) {
        return false;
    }
    RunningEvent().Wait(1000);
    return true;
}

void CConnectWorkThread::Stop(uint32_t waitMs) {
    m_run = false;
    StopAndJoin(waitMs);
}

int CConnectWorkThread::Run() {
    while (m_run) {
        ICommDeviceMgmt* manager = m_manager ? m_manager() : nullptr;
        const bool held = m_loadingEffect.load() != 0 || (m_upgrading && m_upgrading->load() != 0);
        if (manager && manager->IsIdle() && !held && manager->IsOpen()) {
            card::Frame frame{};
            frame[0] = card::CMD_HOST_STATE;
            frame[4] = 1;
            manager->SendNotReceive(frame.data(), false);
        }
        // The stop event ends the wait at once, so stopping never takes a whole period.
        if (StopEvent().Wait(m_periodMs)) {
            break;
        }
    }
    return 0;
}
