#include "toolkit/Timeline.h"

#include <QTimerEvent>
#include <algorithm>

namespace toolkit {

CTimeline& CTimeline::Instance() {
    static CTimeline* timeline = new CTimeline;  // lives until exit, like the UI thread
    return *timeline;
}

void CTimeline::Add(ITimelineHandler* handler) {
    if (!handler || Contains(handler)) {
        return;
    }
    m_handlers.push_back(handler);
    if (!m_timer.isActive() && !m_paused) {
        m_timer.start(kTickMs, Qt::PreciseTimer, this);
    }
}

void CTimeline::Remove(ITimelineHandler* handler) {
    m_handlers.erase(std::remove(m_handlers.begin(), m_handlers.end(), handler), m_handlers.end());
    if (m_handlers.empty()) {
        m_timer.stop();
    }
}

void CTimeline::SetPaused(bool paused) {
    m_paused = paused;
    if (paused) {
        m_timer.stop();
    } else if (!m_handlers.empty()) {
        m_timer.start(kTickMs, Qt::PreciseTimer, this);
    }
}

bool CTimeline::Contains(const ITimelineHandler* handler) const {
    return std::find(m_handlers.begin(), m_handlers.end(), handler) != m_handlers.end();
}

void CTimeline::Tick() {
    const std::vector<ITimelineHandler*> snapshot = m_handlers;
    for (ITimelineHandler* h : snapshot) {
        if (Contains(h)) {
            h->OnNextFrame();
        }
    }
}

void CTimeline::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) {
        Tick();
        return;
    }
    QObject::timerEvent(event);
}

}  // namespace toolkit
