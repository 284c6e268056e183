#pragma once

#include <QBasicTimer>
#include <QObject>
#include <vector>

namespace toolkit {

// Something animated: scrolling text, a GIF, a falling meter.
class ITimelineHandler {
public:
    virtual ~ITimelineHandler() = default;
    virtual void OnNextFrame() = 0;
};

// The animation timeline of the UI thread: one 10 ms tick for every registered handler. The
// timer runs only while something is registered, so an idle window costs no wake-ups.
class CTimeline : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 10;
    static CTimeline& Instance();

    void Add(ITimelineHandler* handler);
    void Remove(ITimelineHandler* handler);
    bool Contains(const ITimelineHandler* handler) const;
    bool IsRunning() const { return m_timer.isActive(); }
    // Holds every animation where it is (the main window hidden to the tray, the gallery's still
    // mode); handlers stay registered and go on when resumed.
    void SetPaused(bool paused);
    bool IsPaused() const { return m_paused; }
    // One tick for every handler; handlers may add or remove themselves meanwhile.
    void Tick();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    CTimeline() = default;
    std::vector<ITimelineHandler*> m_handlers;
    QBasicTimer m_timer;
    bool m_paused = false;
};

}  // namespace toolkit
