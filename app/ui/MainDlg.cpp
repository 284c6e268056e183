#include "MainDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "CardConnection.h"
#include "ConfigData.h"
#include "DeviceInfo.h"
#include "DlgDeviceInfo.h"
#include "DlgDoctor.h"
#include "FirmwareDialogLauncher.h"
#include "InActiveCloseDlg.h"
#include "Log/Log.h"
#include "MainApp.h"
#include "MainCommands.h"
#include "PrivateCopy.h"
#include "QVAudioProtocol.h"
#include "ccm_util/AppMessages.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"
#include "toolkit/InputMethod.h"
#include "toolkit/Menu.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Values.h"
#include "toolkit/WindowEnd.h"

#define LOG_SOURCE "app\\MainDlg"

CMainDlg::CMainDlg(CMainApp& app)
    : toolkit::CHostWindow(QStringLiteral("LAYOUT:XML_MAINWND"), nullptr,
                           Qt::Window | Qt::FramelessWindowHint),
      m_app(app) {
    setObjectName(QStringLiteral("MainDlg"));
    setWindowTitle(QStringLiteral("Orin LYNT!"));
    setWindowIcon(m_app.AppIcon());
    setFixedSize(kWidth, kHeight);
    toolkit::DisableInputMethods(this);  // its fields take numbers and hot keys

    Events().OnCommand(QStringLiteral("btn_close"), [this] { close(); });
    Events().OnCommand(QStringLiteral("btn_min"), [this] { showMinimized(); });
    Events().OnCommand(QStringLiteral("btn_menu"), [this] { ShowMainMenu(); });
    OnTimerId(kTopmostTimerId, [this] {
        KillTimer(kTopmostTimerId);
        LeaveTopmost();
    });
}

CMainDlg::~CMainDlg() {
    // Pages go first, in the reverse order of their set-up.
    while (!m_pages.empty()) {
        m_pages.pop_back();
    }
    m_app.OnMainWindowDestroyed(this);
}

void CMainDlg::LeaveTopmost() {
    // Changed in place on the native window: QWidget::setWindowFlag would re-create it, hidden
    // and shown again, and the window would flicker and lose the focus.
    const Qt::WindowFlags flags = windowFlags() & ~Qt::WindowStaysOnTopHint;
    overrideWindowFlags(flags);
    if (QWindow* native = windowHandle()) {
        native->setFlags(flags);
    }
}

void CMainDlg::AddPage(std::unique_ptr<toolkit::IPageController> page) {
    m_pages.push_back(std::move(page));
}

void CMainDlg::OnInitDialog() {
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (CConfigData::Instance().GetInt(CConfigData::kMainWinTopmost) == 0) {
        SetTimer(kTopmostTimerId, kTopmostMs);
    }
    for (auto& page : m_pages) {
        page->Setup(*this);
    }
    // A window opened again from the tray finds the card its predecessor said goodbye to:
    // greet it again.
    CCardConnection* connection = m_app.Connection();
    if (connection && !connection->IsConnected() && !connection->IsConnecting()) {
        connection->OnDeviceConnected();
    }
    // A card left in its firmware loader by an upgrade that failed: the upgrade is offered again.
    std::vector<std::string> loaders;
    if (connection && !connection->IsConnected() && !connection->IsConnecting() &&
        CHidBase::EnumDevices(loaders, CHidDeviceBuilder::kVendorId,
                              CHidDeviceBuilder::kLoaderProductId) > 0) {
        ccm_util::PostMessage(Handle(), UM_SHOW_UPGRADE, 0, 0);
    }
}

void CMainDlg::CenterOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

bool CMainDlg::OnControlEvent(const toolkit::ControlEvent& ev) {
    for (auto& page : m_pages) {
        if (page->OnControlEvent(ev)) {
            return true;
        }
    }
    return toolkit::CHostWindow::OnControlEvent(ev);
}

bool CMainDlg::OnMenuCommand(int id) {
    for (auto& page : m_pages) {
        if (page->OnMenuCommand(id)) {
            return true;
        }
    }
    if (id >= main_cmd::kFirst && id <= main_cmd::kLast) {
        OnCommand(id);
        return true;
    }
    return toolkit::CHostWindow::OnMenuCommand(id);
}

bool CMainDlg::OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) {
    for (auto& page : m_pages) {
        if (page->OnWindowMessage(msg, wParam, lParam)) {
            return true;
        }
    }
    if (msg == UM_SHOW_UPGRADE) {
        VLOG_INFO("ui", "CMainDlg::OnWindowMessage", "firmware upgrade requested");
        ShowFirmwareUpgrade();
        return true;
    }
    return toolkit::CHostWindow::OnWindowMessage(msg, wParam, lParam);
}

void CMainDlg::closeEvent(QCloseEvent* event) {
    // Hidden at once, its dialogs ended, destroyed from the event loop: its destruction decides
    // whether the program ends or stays in the tray.
    event->accept();
    toolkit::DestroyWindow(this);
}

void CMainDlg::ShowMainMenu() {
    toolkit::CMenu menu;
    if (!menu.LoadMenu(QStringLiteral("SMENU:menu_main"))) {
        return;
    }
    menu.TrackPopupMenu(QCursor::pos() + QPoint(0, 5), this);
    // The menu held the pointer, so the button never heard it leave: it would stay lit until
    // hovered again.
    if (QWidget* button = FindChildByName<QWidget>(QStringLiteral("btn_menu"))) {
        if (!button->rect().contains(button->mapFromGlobal(QCursor::pos()))) {
            button->setAttribute(Qt::WA_UnderMouse, false);
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(button, &leave);
            button->update();
        }
    }
}

void CMainDlg::OnCommand(int id) {
    switch (id) {
        case main_cmd::kDeviceInfo: ShowDeviceInfo(); break;
        case main_cmd::kCheckUpdate: StartUpgradeTool(); break;
        case main_cmd::kAbout: ShowAboutPopup(this); break;
        case main_cmd::kUserManual: OpenUserManual(); break;
        case main_cmd::kShowMain:
            showNormal();
            raise();
            activateWindow();
            break;
        case main_cmd::kToggleAutoStart: m_app.ToggleAutoStart(); break;
        case main_cmd::kTrayAbout: ShowAboutPopup(this, true); break;
        case main_cmd::kExit: QTimer::singleShot(0, this, &QWidget::close); break;
        case main_cmd::kDoctor: ShowDoctor(); break;
        default: break;
    }
}

void CMainDlg::QueryDeviceInfoText(std::function<void(const QString&)> show) {
    CCardConnection* connection = m_app.Connection();
    if (!connection || !connection->IsConnected()) {
        show({});
        return;
    }
    // The card answers on the card worker; the window stays live meanwhile.
    auto reply = std::make_shared<card::Frame>();
    CQVAudioProtocol* protocol = m_app.GetProtocol();
    QPointer<CMainDlg> self(this);
    m_app.CardWorker().Submit([protocol, reply] { return protocol->QueryDeviceInfo(reply->data()); },
                              [self, reply, show = std::move(show)](bool answered) {
                                  if (self) {
                                      show(QString::fromStdString(card::FormatDeviceInfo(
                                          answered ? reply.get() : nullptr)));
                                  }
                              });
}

void CMainDlg::ShowDeviceInfo() {
    QueryDeviceInfoText([this](const QString& text) {
        if (text.isEmpty()) {
            toolkit::SMessageBox(this, QStringLiteral("未连接设备！"), QString(),
                                 toolkit::MB_OK | toolkit::MB_ICONWARNING);
            return;
        }
        CDlgDeviceInfo dialog(text, this);
        dialog.DoModal();
    });
}

void CMainDlg::ShowDoctor() {
    // The checks run on the dialog's worker; the window stays live meanwhile.
    CDlgDoctor dialog(this);
    dialog.DoModal();
}

void CMainDlg::ShowFirmwareUpgrade() {
    // One dialog at a time: a second request while it is open only brings it forward.
    if (m_upgradeOpen) {
        return;
    }
    m_upgradeOpen = true;
    OpenFirmwareDialog(m_app, this);
    m_upgradeOpen = false;
}

void CMainDlg::StartUpgradeTool() {
    const QString source = QCoreApplication::applicationDirPath() + QStringLiteral("/upgrade");
    if (!QFile::exists(source)) {
        // Without the separate tool the panel upgrades the firmware itself.
        ShowFirmwareUpgrade();
        return;
    }
    // Run from a copy, so the tool can replace the installed one; the copy is made new in a
    // folder only this user can enter, and only a copy that checks out is started.
    const std::filesystem::path target = private_copy::CopyForRun(
        source.toStdString(), private_copy::PrivateFolder(), "Velora_upgrade");
    if (target.empty()) {
        return;
    }
    QProcess::startDetached(
        QString::fromStdString(target.string()),
        {toolkit::GetString(QStringLiteral("ver")), QStringLiteral("23"), QStringLiteral("Velora"),
         QStringLiteral("{217984E9-C0EC-44B9-BF57-0800EC42972F}"), QStringLiteral("Lynt")});
}

void CMainDlg::OpenUserManual() {
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& path : {dir + QStringLiteral("/Manuals/UserManual.pdf"),
                                dir + QStringLiteral("/../share/velora/Manuals/UserManual.pdf")}) {
        if (QFile::exists(path)) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::cleanPath(path)));
            return;
        }
    }
}
