#pragma once

#include <QPointer>

#include <functional>

class CMainDlg;

// Creates the main window, and creates it again after it was closed to the tray, always through
// a short timer on the hidden window so a switch never happens inside the window's own handler.
class CSwitchWindowMgr {
public:
    static constexpr int kTimerId = 10001;
    static constexpr int kDelayMs = 300;
    static constexpr int kMainWindowIndex = 0;

    using Factory = std::function<CMainDlg*()>;
    using TimerStarter = std::function<void(int id, int ms)>;

    void Setup(Factory factory, TimerStarter startTimer);
    // False when the index is unknown or that window is already there.
    bool SwitchTo(int index);
    // Runs on the hidden window's timer.
    void DoSwitch();
    void DestroyAll();

    // The live main window, or null.
    CMainDlg* MainWindow() const;
    bool SwitchPending() const { return m_pending != -1; }
    // The window's destruction lets go of it.
    void ForgetMainWindow(CMainDlg* window);

private:
    Factory m_factory;
    TimerStarter m_startTimer;
    QPointer<CMainDlg> m_current;
    int m_pending = -1;
};
