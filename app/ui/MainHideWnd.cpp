#include "MainHideWnd.h"

#include <QAction>
#include <QMenu>
#include <QTimer>

#include "InActiveCloseDlg.h"
#include "Log/Log.h"
#include "MainApp.h"
#include "MainCommands.h"
#include "MainDlg.h"
#include "ccm_util/AppMessages.h"
#include "toolkit/Menu.h"

#define LOG_SOURCE "app\\MainHideWnd"

CMainHideWnd::CMainHideWnd(CMainApp& app)
    : toolkit::CHostWindow(QString(), nullptr, Qt::Tool | Qt::FramelessWindowHint), m_app(app) {
    setObjectName(QStringLiteral("mainHideWindow"));
    setWindowTitle(QStringLiteral("QVMainHideWindow"));
    resize(0, 0);
    OnTimerId(CSwitchWindowMgr::kTimerId, [this] {
        KillTimer(CSwitchWindowMgr::kTimerId);
        m_app.Switcher().DoSwitch();
    });
}

CMainHideWnd::~CMainHideWnd() {
    if (m_tray) {
        m_tray->hide();
    }
}

void CMainHideWnd::OnInitDialog() {
    if (AddTrayIcon()) {
        return;
    }
    // No tray host yet (a desktop still starting, or one without a tray): look again now and
    // then, and stay usable through the main window meanwhile.
    m_trayHostPoll = std::make_unique<QTimer>();
    connect(m_trayHostPoll.get(), &QTimer::timeout, this, [this] {
        if (AddTrayIcon()) {
            m_trayHostPoll->stop();
        }
    });
    m_trayHostPoll->start(kTrayHostPollMs);
}

bool CMainHideWnd::AddTrayIcon() {
    if (m_tray || !(m_app.trayAvailable && m_app.trayAvailable())) {
        return m_tray != nullptr;
    }
    m_tray = std::make_unique<QSystemTrayIcon>(m_app.AppIcon());
    m_tray->setToolTip(QStringLiteral("Orin LYNT!"));
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    OnTrayClicked();
                }
            });
    auto menu = std::make_unique<toolkit::CMenu>();
    if (menu->LoadMenu(QStringLiteral("SMENU:menu_tray"))) {
        m_trayMenu = std::move(menu);
        QMenu* native = m_trayMenu->Native();
        connect(native, &QMenu::aboutToShow, this, [this] {
            if (m_trayMenu->HasItem(8)) {
                m_trayMenu->CheckItem(8, m_app.IsAutoStart());
            }
        });
        // Queued: the command may open a dialog or end the program, which the menu should not
        // be inside of.
        connect(
            native, &QMenu::triggered, this,
            [this](QAction* action) { OnTrayCommand(toolkit::CMenu::ItemId(action)); },
            Qt::QueuedConnection);
        m_tray->setContextMenu(native);
    }
    m_tray->show();
    return true;
}

void CMainHideWnd::ShowMainWindow() {
    if (CMainDlg* main = m_app.Switcher().MainWindow()) {
        main->showNormal();
        main->raise();
        main->activateWindow();
    } else {
        m_app.Switcher().SwitchTo(CSwitchWindowMgr::kMainWindowIndex);
    }
}

void CMainHideWnd::OnTrayClicked() {
    CMainDlg* main = m_app.Switcher().MainWindow();
    if (main && main->isVisible() && !main->isMinimized()) {
        main->hide();
    } else {
        ShowMainWindow();
    }
}

void CMainHideWnd::OnTrayCommand(int id) {
    switch (id) {
        case main_cmd::kShowMain: ShowMainWindow(); break;
        case main_cmd::kToggleAutoStart: m_app.ToggleAutoStart(); break;
        case main_cmd::kTrayAbout: ShowAboutPopup(m_app.Switcher().MainWindow()); break;
        case main_cmd::kExit: m_app.RequestExit(); break;
        default: break;
    }
}

bool CMainHideWnd::OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) {
    if (msg == UM_NOTIFY_MAIN) {
        if (wParam == 5) {
            VLOG_INFO("ui", "CMainHideWnd::OnWindowMessage", "main window shown on request");
            ShowMainWindow();
        }
        return true;
    }
    if (msg == UM_SOUND_PAD) {
        // The sound pads live in the main window; without it there is no player.
        if (CMainDlg* main = m_app.Switcher().MainWindow()) {
            ccm_util::PostMessage(main->Handle(), UM_SOUND_PAD, wParam, 0);
        } else {
            VLOG_INFO("ui", "CMainHideWnd::OnWindowMessage", "pad request without a main window");
        }
        return true;
    }
    if (msg == UM_SHOW_UPGRADE) {
        if (CMainDlg* main = m_app.Switcher().MainWindow()) {
            ccm_util::PostMessage(main->Handle(), UM_SHOW_UPGRADE, 0, 0);
        }
        return true;
    }
    return toolkit::CHostWindow::OnWindowMessage(msg, wParam, lParam);
}
