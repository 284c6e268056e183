#pragma once

#include <QObject>
#include <QtDBus/QDBusUnixFileDescriptor>

#include <functional>
#include <memory>

class QSocketNotifier;

// What the system tells the program about sleep and the end of the user's session.
struct SessionHandlers {
    std::function<void()> suspend;
    std::function<void()> resume;
    std::function<void()> sessionEnding;
};

// Sleep, resume and shutdown from logind over the system bus (holding a delay inhibitor lock so
// the card hears about it before the machine sleeps), and SIGTERM, all delivered on the UI
// thread. Without a system bus only SIGTERM is watched.
class CSessionEvents : public QObject {
    Q_OBJECT
public:
    explicit CSessionEvents(SessionHandlers handlers);
    ~CSessionEvents() override;

    bool WatchingLogind() const { return m_logind; }

private slots:
    void OnPrepareForSleep(bool start);
    void OnPrepareForShutdown(bool start);

private:
    void TakeInhibitor();
    void OnSignal();

    SessionHandlers m_handlers;
    bool m_logind = false;
    bool m_ending = false;
    QDBusUnixFileDescriptor m_inhibitor;
    std::unique_ptr<QSocketNotifier> m_signalNotifier;
};
