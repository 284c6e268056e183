#include "MessagePoster.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "Dispatcher.h"

namespace ccm_util {

namespace {
std::mutex g_targetsMutex;
std::unordered_map<WindowHandle, CMessageTarget*> g_targets;
WindowHandle g_nextHandle = 1;
std::atomic<WindowHandle> g_mainWindow{0};

CMessageTarget* FindTarget(WindowHandle handle) {
    std::lock_guard<std::mutex> guard(g_targetsMutex);
    auto it = g_targets.find(handle);
    return it == g_targets.end() ? nullptr : it->second;
}
}  // namespace

CMessageTarget::CMessageTarget() {
    std::lock_guard<std::mutex> guard(g_targetsMutex);
    m_handle = g_nextHandle++;
    g_targets.emplace(m_handle, this);
}

CMessageTarget::~CMessageTarget() {
    std::lock_guard<std::mutex> guard(g_targetsMutex);
    g_targets.erase(m_handle);
    WindowHandle self = m_handle;
    g_mainWindow.compare_exchange_strong(self, 0);
}

bool PostMessage(WindowHandle target, uint32_t msg, WPARAM wParam, LPARAM lParam) {
    if (target == 0 || !FindTarget(target)) {
        return false;
    }
    // Looked up again on the UI thread: the window may be destroyed before the message arrives.
    // Targets are destroyed on the UI thread too, so the object stays alive during the call.
    return DispatchToUi([=] {
        if (CMessageTarget* t = FindTarget(target)) {
            t->OnMessage(msg, wParam, lParam);
        }
    });
}

void SetMainWindowHandle(WindowHandle handle) { g_mainWindow.store(handle); }

WindowHandle MainWindowHandle() { return g_mainWindow.load(); }

}  // namespace ccm_util
