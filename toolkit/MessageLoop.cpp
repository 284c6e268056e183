#include "toolkit/MessageLoop.h"

#include <algorithm>

#include "ccm_util/Dispatcher.h"

namespace toolkit {

CMessageLoop& CMessageLoop::Instance() {
    static CMessageLoop loop;
    return loop;
}

void CMessageLoop::AddMessageFilter(IMessageFilter* filter) {
    if (filter && std::find(m_filters.begin(), m_filters.end(), filter) == m_filters.end()) {
        m_filters.push_back(filter);
    }
}

void CMessageLoop::RemoveMessageFilter(IMessageFilter* filter) {
    m_filters.erase(std::remove(m_filters.begin(), m_filters.end(), filter), m_filters.end());
}

bool CMessageLoop::PreTranslate(const Msg& msg) {
    const std::vector<IMessageFilter*> snapshot = m_filters;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        if (std::find(m_filters.begin(), m_filters.end(), *it) == m_filters.end()) {
            continue;
        }
        if ((*it)->PreTranslateMessage(msg)) {
            return true;
        }
    }
    return false;
}

bool PostThreadMessage(uint32_t message, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) {
    return ccm_util::DispatchToUi([=] {
        CMessageLoop::Instance().PreTranslate(Msg{0, message, wParam, lParam});
    });
}

CScopedMessageFilter::CScopedMessageFilter(std::function<bool(const Msg&)> fn)
    : m_fn(std::move(fn)) {
    CMessageLoop::Instance().AddMessageFilter(this);
}

CScopedMessageFilter::~CScopedMessageFilter() {
    CMessageLoop::Instance().RemoveMessageFilter(this);
}

}  // namespace toolkit
