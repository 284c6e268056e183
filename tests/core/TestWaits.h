#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Waits for a condition the code under test brings about. The bound only keeps a broken build
// from stalling the run; no test depends on how long the wait takes.
template <typename Fn>
bool WaitUntil(Fn done, int boundMs = 10000) {
    for (int waited = 0; !done(); waited += 2) {
        if (waited >= boundMs) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Runs a call on its own thread, so that a test can act while the call waits.
class Background {
public:
    explicit Background(std::function<bool()> fn)
        : m_thread([this, fn = std::move(fn)] {
              bool result = fn();
              std::lock_guard<std::mutex> guard(m_mutex);
              m_result = result;
              m_done = true;
              m_cv.notify_all();
          }) {}
    ~Background() { m_thread.join(); }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // False when the call has not returned within the bound (see WaitUntil).
    bool Finished() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_done; });
    }
    bool Result() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_result;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    bool m_result = false;
    std::thread m_thread;
};
