#pragma once

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>

#include "IFlushTimerOwner.h"

class CWorkSpace;

// The workspace's flush timer on the UI thread's event loop.
class CQtFlushTimer : public QObject, public IFlushTimerOwner {
    Q_OBJECT
public:
    explicit CQtFlushTimer(CWorkSpace& workspace);
    void StartTimer(uint32_t timerId, uint32_t periodMs) override;
    void StopTimer(uint32_t timerId) override;

private:
    CWorkSpace& m_workspace;
    std::map<uint32_t, std::unique_ptr<QTimer>> m_timers;
};
