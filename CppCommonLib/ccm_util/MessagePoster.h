#pragma once

#include <cstdint>

namespace ccm_util {

// A window that takes posted messages. Handles are never reused, so a message posted to a window
// that has gone is dropped instead of reaching another object.
using WindowHandle = uint64_t;
using WPARAM = uint64_t;
using LPARAM = int64_t;

class CMessageTarget {
public:
    CMessageTarget();
    virtual ~CMessageTarget();
    CMessageTarget(const CMessageTarget&) = delete;
    CMessageTarget& operator=(const CMessageTarget&) = delete;

    WindowHandle Handle() const { return m_handle; }
    // Runs on the UI thread.
    virtual void OnMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) = 0;

private:
    WindowHandle m_handle;
};

// Queues the message for the target's OnMessage on the UI thread. False when there is no such
// window or no dispatcher; the message is then dropped.
bool PostMessage(WindowHandle target, uint32_t msg, WPARAM wParam, LPARAM lParam);

// The main window, the usual receiver of workers' progress messages; 0 when there is none.
void SetMainWindowHandle(WindowHandle handle);
WindowHandle MainWindowHandle();

}  // namespace ccm_util
