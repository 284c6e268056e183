#pragma once

#include <pthread.h>
#include <signal.h>

#include <thread>

#include "ccm_util/Dispatcher.h"

namespace ctl {

// Turns SIGINT and SIGTERM into a flag set on the UI thread, so the wait for events can block
// without a timer.
class CInterruptWatch {
public:
    CInterruptWatch() {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
        m_thread = std::thread([this] {
            int sig = 0;
            sigwait(&m_signals, &sig);
            ccm_util::DispatchToUi([this] { m_interrupted = true; });
        });
    }
    ~CInterruptWatch() {
        if (!m_interrupted) {
            pthread_kill(m_thread.native_handle(), SIGTERM);
        }
        m_thread.join();
    }
    bool Interrupted() const { return m_interrupted; }

private:
    sigset_t m_signals;
    bool m_interrupted = false;
    std::thread m_thread;
};

}  // namespace ctl
