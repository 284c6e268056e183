#include "MainApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSessionManager>
#include <QSystemTrayIcon>

#include <chrono>

#include "Autostart.h"
#include "CardConnection.h"
#include "ConfigData.h"
#include "DataFolder.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "Log/Log.h"
#include "ConnectionStatusPage.h"
#include "MainDlg.h"
#include "MainHideWnd.h"
#include "QVAudioProtocol.h"
#include "QtFlushTimer.h"
#include "SessionEvents.h"
#include "SysInfo.h"
#include "UiStallProbe.h"
#include "VeloraVersion.h"
#include "WorkSpace.h"
#include "app/ui/AppLayouts.h"
#include "CreateHotkeys.h"
#include "HotkeyFanOut.h"
#include "HotkeyRegistrarAdapter.h"
#include "MoodConfig.h"
#include "SoundPadText.h"
#include "effects/ui/EventHandlerEffect.h"
#include "sound/ui/EventHandlerRecord.h"
#include "sound/ui/EventHandlerSound.h"
#include "sound/ui/SendWindow.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"
#include "toolkit/Layouts.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Theme.h"
#include "toolkit/Toolkit.h"
#include "toolkit/WindowEnd.h"
#include "widgets/CTipWnd.h"
#include "widgets/Widgets.h"

#define LOG_SOURCE "app\\MainApp"

CMainApp::CMainApp()
    : trayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); }),
      m_protocol(std::make_unique<CQVAudioProtocol>()),
      m_cardWorker(std::make_unique<card::CCardWorker>()) {}

void CMainApp::Quit() {
    m_quitting = true;
    m_quitRequested = true;
    // Open dialogs end their own loops; no window is deleted under them.
    toolkit::EndModals(toolkit::IDCANCEL);
    QCoreApplication::exit(0);
}

CMainApp::~CMainApp() {
    StopWindows();
    sound::ui::SetSendWindowContext({});  // its protocol and busy flag go with us
    m_sessionEvents.reset();
    if (m_notifier) {
        m_notifier->Stop();
    }
    // The main window's end asked the card for the goodbye: let it go out, then let go of the
    // card. Detaching wakes an effect download waiting for the card; it ends before the device
    // manager it uses goes.
    m_cardWorker->WaitIdle(CCardConnection::kGoodbyeWaitMs);
    m_cardWorker.reset();
    if (m_workspace) {
        m_workspace->SetCardWorker(nullptr);
    }
    if (m_connection) {
        m_connection->SetCardWorker(nullptr);
        m_connection->Disconnect();
    }
    m_protocol->WaitDownload();
    m_connection.reset();
    m_builder.reset();  // the manager goes before the protocol it uses
    m_flushTimer.reset();
    m_workspace.reset();
}

QIcon CMainApp::AppIcon() const { return QIcon(QStringLiteral(":/img/image_logo")); }

bool CMainApp::Init() {
    if (CUiStallProbe::Wanted()) {
        m_stallProbe = std::make_unique<CUiStallProbe>();
    }
    // Without a data folder nothing the user sets could be kept: say so once the UI can.
    const bool haveDataFolder = CConfigData::Instance().LoadDefault();
    CLibCurlHelper::GlobalInit();  // once, before any cloud worker starts
    Step("settings");
    if (!SetupUi()) {
        return false;
    }
    if (!haveDataFolder) {
        toolkit::SMessageBox(
            nullptr,
            QStringLiteral("无法创建数据文件夹，设置无法保存。请检查 HOME 或 XDG_DATA_HOME。"),
            QString(), toolkit::MB_OK | toolkit::MB_ICONWARNING);
        return false;
    }
    m_hotkeys = CreateHotkeyService();
    m_hotkeyFanOut = std::make_unique<CHotkeyFanOut>(*m_hotkeys);
    m_hotkeyRegistrar = std::make_unique<CHotkeyRegistrarAdapter>(*m_hotkeys);
    m_moodConfig = std::make_unique<sound::CMoodConfig>();
    m_moodConfig->SetHotkeyRegistrar(m_hotkeyRegistrar.get());
    // A store that cannot be read or created keeps its defaults: the program runs without it.
    m_moodConfig->Init(sound::CMoodConfig::DefaultPath());
    // A pad press or a volume drag must not wait on the disk: writes go out once a second.
    m_moodConfig->CoalesceWrites(std::chrono::seconds(1));
    Step("sound-pad settings");
    Step("ui");
    appbase::GetSysInfo(VELORA_VERSION);
    Step("system information");
    m_notifier = CreateDeviceNotifier();
    m_notifier->Start(this);
    Step("device notifications");
    if (!CreateWorkSpace()) {
        return false;
    }
    Step("workspace");
    // The pads' "发送到声卡" sends through the protocol, under the program's busy flag.
    sound::ui::SetSendWindowContext({m_protocol.get(), &loadingEffect, {}});
    m_builder = std::make_unique<CHidDeviceBuilder>();
    if (m_builder->CreateManager(GetProtocol())) {
        m_connection = std::make_unique<CCardConnection>(*m_builder, *m_protocol, *m_workspace,
                                                         loadingEffect);
        m_connection->SetCardWorker(m_cardWorker.get());
        m_connection->SetUpgradingFlag(&upgradingFirmware);
        Step("device builder");
        m_connection->Startup();
        Step("card");
    }
    SessionHandlers handlers;
    handlers.suspend = [this] {
        ForwardToMainWindow(CEventHandlerRecord::kMsgPowerBroadcast, CEventHandlerRecord::kPowerSuspend);
        if (m_connection) m_connection->OnSuspend();
        if (m_moodConfig) m_moodConfig->Flush();  // a machine asleep may never wake
    };
    handlers.resume = [this] {
        if (m_connection) m_connection->OnResume();
    };
    handlers.sessionEnding = [this] {
        ForwardToMainWindow(CEventHandlerRecord::kMsgQueryEndSession, 0);
        if (m_connection) m_connection->OnSessionEnding();
        if (m_moodConfig) m_moodConfig->Flush();
        m_switcher.DestroyAll();
        Quit();
    };
    // The desktop's session manager ends the session the same way.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp,
                     [end = handlers.sessionEnding](QSessionManager&) { end(); });
    m_sessionEvents = std::make_unique<CSessionEvents>(std::move(handlers));
    return true;
}

bool CMainApp::SetupUi() {
    m_log = std::make_unique<vlog::CLogManager>();
    m_log->Start(appbase::DataSubFolder("log"), "velora");
    toolkit::Initialize();
    widgets::RegisterWidgets();
    RegisterAppLayouts();
    toolkit::ApplyTheme(qApp);
    if (!toolkit::HasLayout(QStringLiteral("XML_MAINWND"))) {
        toolkit::SMessageBox(nullptr, QStringLiteral("初始化界面资源失败"), QStringLiteral("ERROR"),
                             toolkit::MB_OK | toolkit::MB_ICONWARNING);
        return false;
    }
    return true;
}

bool CMainApp::CreateWorkSpace() {
    m_workspace = std::make_unique<CWorkSpace>(CConfigData::Instance().GetPath(),
                                               appbase::DataFolder());
    m_workspace->SetCardWorker(m_cardWorker.get());
    // Transfers and the firmware write hold the line: the pages' sends wait for them.
    m_workspace->SetLineFlags(&loadingEffect, &upgradingFirmware);
    m_flushTimer = std::make_unique<CQtFlushTimer>(*m_workspace);
    m_workspace->SetFlushTimerOwner(m_flushTimer.get());
    return true;
}

std::unique_ptr<platform::hotkeys::IHotkeys> CMainApp::CreateHotkeyService() {
    return platform::hotkeys::CreateHotkeys();
}

CQVAudioProtocol* CMainApp::GetProtocol() { return m_workspace ? m_protocol.get() : nullptr; }

void CMainApp::StartWindows() {
    m_hideWnd = std::make_unique<CMainHideWnd>(*this);
    m_hideWnd->OnInitDialog();
    m_switcher.Setup(
        [this] {
            auto* window = new CMainDlg(*this);
            auto effects = std::make_unique<CEventHandlerEffect>(m_workspace.get());
            effects->SetHotkeyServices(m_moodConfig.get(),
                                       m_hotkeyFanOut->Port(0, sound::kFavouritePadFirst - 1),
                                       CConfigData::Instance().GetPath());
            window->AddPage(std::move(effects));
            auto pads = std::make_unique<CEventHandlerSound>(m_moodConfig.get());
            pads->SetHotkeyServices(
                m_hotkeyFanOut->Port(sound::kFavouritePadFirst, sound::kLocalPadFirst - 1),
                CConfigData::Instance().GetPath());
            pads->SetCloud(appbase::DataFolder(), CloudBaseUrl());
            pads->SetCardReady([this] { return m_connection && m_connection->IsConnected(); });
            window->AddPage(std::move(pads));
            window->AddPage(std::make_unique<CEventHandlerRecord>(
                appbase::DataFolder() / CEventHandlerRecord::kFileName,
                [this] { return m_connection && m_connection->IsConnected(); }));
            window->AddPage(std::make_unique<CConnectionStatusPage>(m_connection.get()));
            return window;
        },
                     [this](int id, int ms) { m_hideWnd->SetTimer(id, ms); });
    m_switcher.SwitchTo(CSwitchWindowMgr::kMainWindowIndex);
}

int CMainApp::Run() {
    StartWindows();
    int result = QApplication::exec();
    StopWindows();
    return result;
}

void CMainApp::StopWindows() {
    m_quitting = true;
    m_switcher.DestroyAll();
    toolkit::DeleteEndedWindows();  // the loop has ended: nothing holds them any more
    CTipWnd::Destroy();
    m_hideWnd.reset();
}

void CMainApp::Exit() {
    m_stallProbe.reset();
    if (m_notifier) {
        m_notifier->Stop();
    }
    if (m_log) {
        m_log->Stop();
    }
}

void CMainApp::OnDevicePnp(bool removed, const std::string& path) {
    if (m_connection) {
        m_connection->OnDevicePnp(removed, path);
    }
}

void CMainApp::RequestExit() {
    QWidget* owner = m_switcher.MainWindow();
    if (loadingEffect.load()) {
        toolkit::SMessageBox(owner, QStringLiteral("正在载入特效，暂时不能退出软件"), QString(),
                             toolkit::MB_OK | toolkit::MB_ICONWARNING);
        return;
    }
    if (upgradingFirmware.load()) {
        toolkit::SMessageBox(
            owner,
            QStringLiteral("设备正在进行固件升级，暂时不能退出软件，否则升级失败会造成设备损坏"),
            QString(), toolkit::MB_OK | toolkit::MB_ICONWARNING);
        return;
    }
    m_quitting = true;
    m_switcher.DestroyAll();
    Quit();
}

bool CMainApp::IsAutoStart() const {
    return platform::autostart::IsAutoStart(QCoreApplication::applicationFilePath().toStdString());
}

void CMainApp::ToggleAutoStart() {
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    platform::autostart::SetAutoStart(!platform::autostart::IsAutoStart(program), program);
}

void CMainApp::ForwardToMainWindow(uint32_t msg, uint64_t wParam) {
    // At once, not posted: sleep and the session's end wait for nobody.
    if (CMainDlg* main = m_switcher.MainWindow()) {
        main->OnMessage(msg, wParam, 0);
    }
}

void CMainApp::OnMainWindowDestroyed(CMainDlg* window) {
    if (m_connection && m_workspace) {
        m_connection->EndSession();
    }
    m_switcher.ForgetMainWindow(window);
    if (m_quitting || m_switcher.SwitchPending()) {
        return;
    }
    // Without a tray icon nothing could bring the window back: closing it ends the program.
    const bool toTray = CConfigData::Instance().GetInt(CConfigData::kCloseBtnOperation) != 1 &&
                        m_hideWnd && m_hideWnd->HasTrayIcon();
    if (!toTray) {
        Quit();
    }
}
