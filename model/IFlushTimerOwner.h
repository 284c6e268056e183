#pragma once

#include <cstdint>

// The owner of the workspace's deferred-flush timer (a window of the effects page in the program;
// a thread for the command-line client; a fake in tests). When the timer fires, the owner calls
// CWorkSpace::OnFlushTimer on the UI thread.
class IFlushTimerOwner {
public:
    virtual ~IFlushTimerOwner() = default;
    virtual void StartTimer(uint32_t timerId, uint32_t periodMs) = 0;
    virtual void StopTimer(uint32_t timerId) = 0;
};
