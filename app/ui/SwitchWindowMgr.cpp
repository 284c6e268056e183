#include "SwitchWindowMgr.h"

#include "Log/Log.h"
#include "MainDlg.h"
#include "ccm_util/MessagePoster.h"
#include "toolkit/WindowEnd.h"

#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#define LOG_SOURCE "app\\SwitchWindowMgr"

namespace {
// Since the process started, as the system counts it (so the figure includes loading).
long long MillisecondsSinceStart() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    size_t close = line.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22) {
            double startTicks = std::stod(field);
            std::ifstream uptimeFile("/proc/uptime");
            double uptime = 0;
            uptimeFile >> uptime;
            return static_cast<long long>((uptime - startTicks / sysconf(_SC_CLK_TCK)) * 1000);
        }
    }
    return -1;
}
}  // namespace

void CSwitchWindowMgr::Setup(Factory factory, TimerStarter startTimer) {
    m_factory = std::move(factory);
    m_startTimer = std::move(startTimer);
    m_current = nullptr;
    m_pending = -1;
}

CMainDlg* CSwitchWindowMgr::MainWindow() const { return m_current.data(); }

bool CSwitchWindowMgr::SwitchTo(int index) {
    if (index != kMainWindowIndex || !m_factory) {
        return false;
    }
    if (m_current) {
        return false;  // it is there already
    }
    ccm_util::SetMainWindowHandle(0);
    m_pending = index;
    if (m_startTimer) {
        m_startTimer(kTimerId, kDelayMs);
    }
    return true;
}

void CSwitchWindowMgr::DoSwitch() {
    if (CMainDlg* old = m_current.data()) {
        m_current = nullptr;
        toolkit::DestroyWindow(old);
    }
    if (m_pending == -1) {
        return;
    }
    m_pending = -1;
    CMainDlg* window = m_factory();
    if (!window) {
        return;
    }
    m_current = window;
    ccm_util::SetMainWindowHandle(window->Handle());
    window->OnInitDialog();
    window->CenterOnScreen();
    window->showNormal();
    window->raise();
    window->activateWindow();
    VLOG_INFO("ui", "CSwitchWindowMgr::DoSwitch", "main window shown %lld ms after start",
              static_cast<long long>(MillisecondsSinceStart()));
}

void CSwitchWindowMgr::DestroyAll() {
    m_pending = -1;
    if (CMainDlg* window = m_current.data()) {
        m_current = nullptr;
        ccm_util::SetMainWindowHandle(0);
        // Its dialogs end first; it goes once no modal loop can be holding it.
        toolkit::DestroyWindow(window);
    }
}

void CSwitchWindowMgr::ForgetMainWindow(CMainDlg* window) {
    if (m_current.data() == window) {
        m_current = nullptr;
    }
    if (ccm_util::MainWindowHandle() == window->Handle()) {
        ccm_util::SetMainWindowHandle(0);
    }
}
