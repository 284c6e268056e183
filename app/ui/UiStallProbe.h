#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Measures how late the UI thread serves a 10 ms timer: the longest delay is the longest time
// the window could not react. Logged when the probe ends; started by the environment variable
// VELORA_UI_STALL_PROBE, for measurements only.
class CUiStallProbe : public QObject {
public:
    CUiStallProbe();
    ~CUiStallProbe() override;

    static bool Wanted();
    qint64 LongestStallMs() const { return m_longestMs; }

private:
    void OnTick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longestMs = 0;
};
