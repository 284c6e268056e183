#pragma once

#include <QSystemTrayIcon>

#include <memory>

#include "toolkit/HostWindow.h"

class CMainApp;
class QTimer;
namespace toolkit {
class CMenu;
}

// The hidden window: owns the tray icon, takes the program's private messages (from the second
// start, lyntctl and the firmware tool) and runs the window switch.
class CMainHideWnd : public toolkit::CHostWindow {
    Q_OBJECT
public:
    static constexpr int kTrayHostPollMs = 5000;

    explicit CMainHideWnd(CMainApp& app);
    ~CMainHideWnd() override;

    // Adds the tray icon now, or as soon as a tray host appears.
    void OnInitDialog();
    bool HasTrayIcon() const { return m_tray != nullptr; }
    QSystemTrayIcon* TrayIcon() const { return m_tray.get(); }

    // The tray icon's clicks and menu commands (7 show, 8 autostart, 9 about, 10 exit). The menu
    // is the icon's context menu, so trays that only show an exported menu reach it too.
    void OnTrayClicked();
    void OnTrayCommand(int id);
    toolkit::CMenu* TrayMenu() const { return m_trayMenu.get(); }
    void ShowMainWindow();

protected:
    bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) override;

private:
    bool AddTrayIcon();

    CMainApp& m_app;
    std::unique_ptr<toolkit::CMenu> m_trayMenu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<QTimer> m_trayHostPoll;
};
