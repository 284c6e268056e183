#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "ccm_util/ThreadObject.h"

namespace card {

// Where the exchanges that wait for the card's answer run. A job returns whether the card
// answered; its result reaches `done` on the UI thread.
class ICardWorker {
public:
    using Job = std::function<bool()>;
    using Done = std::function<void(bool)>;

    virtual ~ICardWorker() = default;
    // Runs job, then done(result). Returns the job's result when it ran before Submit returned,
    // and true when it was queued.
    virtual bool Submit(Job job, Done done) = 0;
    // Waits until every job submitted so far has run; false when ms passed first. Only for the
    // end of the program or of the user's session, so that the card hears the goodbye.
    virtual bool WaitIdle(uint32_t ms) = 0;
};

// Runs each job at once on the caller's thread. For lyntctl, which waits for every answer
// anyway, and for code without a worker of its own.
class CInlineCardWorker : public ICardWorker {
public:
    bool Submit(Job job, Done done) override;
    bool WaitIdle(uint32_t) override { return true; }
    static CInlineCardWorker& Instance();
};

// One thread that runs the jobs one after another, in the order they were submitted, and posts
// each result to the UI thread. A slow or silent card then costs the window nothing, while the
// frames on the wire keep the order in which the UI asked for them.
class CCardWorker : public ICardWorker, private ccm_util::CThreadObject {
public:
    CCardWorker();
    // Finishes the job in hand; jobs still queued and results not yet delivered are dropped.
    ~CCardWorker() override;

    bool Submit(Job job, Done done) override;
    bool WaitIdle(uint32_t ms) override;
    // Jobs submitted and not finished yet (the one running included).
    size_t Outstanding() const;

private:
    int Run() override;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::pair<Job, Done>> m_queue;
    bool m_running = false;
    bool m_stopping = false;
    // Results reach the UI thread only while the worker lives: whatever a result refers to is
    // torn down after the worker.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

}  // namespace card
