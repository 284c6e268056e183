#include "QtFlushTimer.h"

#include "WorkSpace.h"

CQtFlushTimer::CQtFlushTimer(CWorkSpace& workspace) : m_workspace(workspace) {}

void CQtFlushTimer::StartTimer(uint32_t timerId, uint32_t periodMs) {
    auto& timer = m_timers[timerId];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, this,
                         [this, timerId] { m_workspace.OnFlushTimer(timerId); });
    }
    timer->start(static_cast<int>(periodMs));
}

void CQtFlushTimer::StopTimer(uint32_t timerId) {
    auto it = m_timers.find(timerId);
    if (it != m_timers.end()) {
        it->second->stop();
    }
}
