#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "IFlushTimerOwner.h"

// A timer owner for programs without windows (the command-line client): one thread waits for
// the earliest armed timer and hands its firing to the UI thread through the installed
// dispatcher. A timer stopped or restarted before its firing ran on the UI thread does not fire.
class CFlushTimerThread : public IFlushTimerOwner {
public:
    using FireFn = std::function<void(uint32_t timerId)>;

    // onFire runs on the UI thread, typically CWorkSpace::OnFlushTimer.
    explicit CFlushTimerThread(FireFn onFire);
    ~CFlushTimerThread() override;
    CFlushTimerThread(const CFlushTimerThread&) = delete;
    CFlushTimerThread& operator=(const CFlushTimerThread&) = delete;

    void StartTimer(uint32_t timerId, uint32_t periodMs) override;
    void StopTimer(uint32_t timerId) override;

private:
    struct Shared;
    void Loop();

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
