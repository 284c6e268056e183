#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ccm_util/MessagePoster.h"

namespace toolkit {

// A message as the filters see it: a posted window message (hwnd set) or a thread message
// (hwnd 0), for example a global hotkey that the hotkey service posts to the UI thread.
struct Msg {
    ccm_util::WindowHandle hwnd = 0;
    uint32_t message = 0;
    ccm_util::WPARAM wParam = 0;
    ccm_util::LPARAM lParam = 0;
};

class IMessageFilter {
public:
    virtual ~IMessageFilter() = default;
    // True when the filter consumed the message; it then reaches no other filter or window.
    virtual bool PreTranslateMessage(const Msg& msg) = 0;
};

// The UI thread's message filters. Only the UI thread touches it; other threads reach it through
// PostThreadMessage and the window-message poster.
class CMessageLoop {
public:
    static CMessageLoop& Instance();

    void AddMessageFilter(IMessageFilter* filter);
    void RemoveMessageFilter(IMessageFilter* filter);
    // Runs the filters, the one added last first; true when one of them consumed the message.
    // A filter removed while the filters run is not called any more.
    bool PreTranslate(const Msg& msg);
    size_t FilterCount() const { return m_filters.size(); }

private:
    std::vector<IMessageFilter*> m_filters;
};

// Posts a thread message to the UI thread, where it goes through the filters (and is dropped when
// none takes it). Callable from any thread; false when no dispatcher is installed.
bool PostThreadMessage(uint32_t message, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam);

// A filter made of a function, registered for the lifetime of the object (UI thread only).
class CScopedMessageFilter : public IMessageFilter {
public:
    explicit CScopedMessageFilter(std::function<bool(const Msg&)> fn);
    ~CScopedMessageFilter() override;
    CScopedMessageFilter(const CScopedMessageFilter&) = delete;
    CScopedMessageFilter& operator=(const CScopedMessageFilter&) = delete;
    bool PreTranslateMessage(const Msg& msg) override { return m_fn(msg); }

private:
    std::function<bool(const Msg&)> m_fn;
};

}  // namespace toolkit
