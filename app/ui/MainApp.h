#pragma once

#include <QIcon>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CardWorker.h"
#include "DeviceNotifier.h"
#include "SwitchWindowMgr.h"
#include "ccm_util/Lock.h"

class CCardConnection;
class CHidDeviceBuilder;
class CMainDlg;
class CMainHideWnd;
class CQtFlushTimer;
class CQVAudioProtocol;
class CSessionEvents;
class CUiStallProbe;
class CWorkSpace;
class CHotkeyRegistrarAdapter;
class CHotkeyFanOut;
namespace platform::hotkeys {
class IHotkeys;
}
namespace sound {
class CMoodConfig;
}
namespace vlog {
class CLogManager;
}

// The application: starts and stops every part of the program in a fixed order, owns the card's
// objects and the busy flags, and decides what the card's arrivals and removals mean.
class CMainApp : public IDevicePnpNotificationReceiver {
public:
    CMainApp();
    ~CMainApp() override;
    CMainApp(const CMainApp&) = delete;
    CMainApp& operator=(const CMainApp&) = delete;

    // Start-up; false when the program cannot run (no UI resources, no workspace).
    bool Init();
    // The hidden window and, 300 ms later, the main window; then the event loop. Its exit code.
    int Run();
    // Creates the hidden window and asks for the main window, without running the loop (Run and
    // the tests use it).
    void StartWindows();
    // What Run does after the loop.
    void StopWindows();
    void Exit();

    void OnDevicePnp(bool removed, const std::string& path) override;

    CQVAudioProtocol* GetProtocol();
    CWorkSpace* WorkSpace() { return m_workspace.get(); }
    CCardConnection* Connection() { return m_connection.get(); }
    CHidDeviceBuilder* Builder() { return m_builder.get(); }
    // Where every exchange that waits for the card runs, off the UI thread.
    card::ICardWorker& CardWorker() { return *m_cardWorker; }
    CSwitchWindowMgr& Switcher() { return m_switcher; }
    CMainHideWnd* HideWnd() { return m_hideWnd.get(); }
    CSessionEvents* SessionEvents() { return m_sessionEvents.get(); }
    QIcon AppIcon() const;
    platform::hotkeys::IHotkeys* Hotkeys() { return m_hotkeys.get(); }
    sound::CMoodConfig* MoodConfig() { return m_moodConfig.get(); }

    // Tray "Exit": refused with a message while a clip is loaded or firmware written.
    void RequestExit();
    // A system message (sleep, the session's end) to the main window's pages, at once.
    void ForwardToMainWindow(uint32_t msg, uint64_t wParam);
    bool IsAutoStart() const;
    void ToggleAutoStart();
    // The main window's destruction: the session ends and, unless it closes to the tray, so does
    // the program.
    void OnMainWindowDestroyed(CMainDlg* window);

    // The steps Init went through, in order (for the log and the tests).
    const std::vector<std::string>& InitSteps() const { return m_initSteps; }
    // Ends the event loop; remembered, so a program without a running loop can be asked.
    void Quit();
    bool QuitRequested() const { return m_quitRequested; }
    // Whether a tray host is there to hold the icon (replaceable for tests).
    std::function<bool()> trayAvailable;

    std::atomic<int> loadingEffect{0};
    std::atomic<int> upgradingFirmware{0};

protected:
    virtual bool SetupUi();
    virtual bool CreateWorkSpace();
    // The system-wide hotkey service of this session (tests give a fake).
    virtual std::unique_ptr<platform::hotkeys::IHotkeys> CreateHotkeyService();

private:
    void Step(const char* name) { m_initSteps.push_back(name); }

    std::vector<std::string> m_initSteps;
    std::unique_ptr<CUiStallProbe> m_stallProbe;
    std::unique_ptr<vlog::CLogManager> m_log;
    // The store releases its hotkeys when it goes: it is declared after the service.
    std::unique_ptr<platform::hotkeys::IHotkeys> m_hotkeys;
    std::unique_ptr<CHotkeyFanOut> m_hotkeyFanOut;  // presses to the effects and sound pages
    std::unique_ptr<CHotkeyRegistrarAdapter> m_hotkeyRegistrar;
    std::unique_ptr<sound::CMoodConfig> m_moodConfig;
    std::unique_ptr<CQVAudioProtocol> m_protocol;
    std::unique_ptr<CWorkSpace> m_workspace;
    std::unique_ptr<CQtFlushTimer> m_flushTimer;
    std::unique_ptr<CHidDeviceBuilder> m_builder;
    std::unique_ptr<CCardConnection> m_connection;
    // Declared after everything its results refer to, so it goes first.
    std::unique_ptr<card::CCardWorker> m_cardWorker;
    std::unique_ptr<IDeviceNotifier> m_notifier;
    std::unique_ptr<CSessionEvents> m_sessionEvents;
    std::unique_ptr<CMainHideWnd> m_hideWnd;
    CSwitchWindowMgr m_switcher;
    bool m_quitting = false;
    bool m_quitRequested = false;
};
