#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <functional>

// Runs the event loop until pred holds; the bound only keeps a broken run from hanging.
inline bool PumpUntil(const std::function<bool()>& pred) {
    QTimer wake;
    wake.start(10);
    const QDeadlineTimer deadline(5000);
    while (!pred() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return pred();
}
