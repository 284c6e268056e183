// velora: the control panel.
#include <QApplication>

#include <cstdio>

#include "CardConnection.h"
#include "CrashHandler.h"
#include "DataFolder.h"
#include "HttpFirmwareServer.h"
#include "InstallQtAudioEngine.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "Log/Log.h"
#include "MainHideWnd.h"
#include "PanelExecutor.h"
#include "SingleInstance.h"
#include "ccm_util/AppMessages.h"
#include "ccm_util/Dispatcher.h"
#include "ccm_util/MessagePoster.h"
#include "sound/ui/EventHandlerSound.h"
#include "toolkit/QtDispatcher.h"
#include "ui/GuardedApplication.h"
#include "ui/MainApp.h"
#include "ui/MainDlg.h"

#define LOG_SOURCE "app\\main"

namespace {
constexpr int kHandOverMs = 2000;
}

int main(int argc, char** argv) {
    // The level meters repaint strips of a few pixels twenty times a second; with the window's
    // image in shared memory each such repaint first waits for a round trip to the X server
    // (two thread wake-ups). Sending the small strips through the socket is cheaper; a whole
    // window costs about a millisecond more. A user's own choice stays. Qt reads the setting
    // when it connects to the display; it is taken back after, so programs started from the
    // panel (the manual's viewer, a browser) draw as they would anyway.
    const bool noSharedImage = !qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (noSharedImage) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
    CGuardedApplication qapp(argc, argv);
    if (noSharedImage) {
        qunsetenv("QT_XCB_NO_MITSHM");
    }
    QApplication::setApplicationName(QStringLiteral("velora"));
    QApplication::setQuitOnLastWindowClosed(false);  // the tray keeps the program

    // One panel per user: a second start brings the first one's window forward and ends.
    CSingleInstance instance;
    if (!instance.Acquire()) {
        // The first may be starting: its lock is there a moment before its socket.
        if (!CSingleInstance::SendToRunning(UM_NOTIFY_MAIN, 5, 0, kHandOverMs)) {
            std::fprintf(stderr, "velora: another panel runs but does not answer\n");
            return 1;
        }
        return 0;
    }
    // Listening before Init: a second start during Init waits in the queue instead of being lost.
    const bool listening = instance.Listen();
    if (!listening) {
        std::fprintf(stderr, "velora: %s\n", qUtf8Printable(instance.ErrorString()));
    }
    CSingleInstance::CloseFirmwareTool();
    platform::audio::InstallQtAudioEngine();  // sound pads and recording on the sound server
    firmware::InstallHttpFirmwareServer();    // the firmware dialog asks the cloud service
    platform::crash::InstallCrashHandler(appbase::DataFolder(), "velora");

    toolkit::CQtDispatcher dispatcher;
    ccm_util::CScopedDispatcher scopedDispatcher(&dispatcher);

    int result = -1;
    {
        CMainApp app;
        if (app.Init()) {
            if (!listening) {
                VLOG_ERROR("app", "main", "other programs cannot reach the panel: %s",
                           qUtf8Printable(instance.ErrorString()));
            }
            app.StartWindows();
            // Messages from other processes go to the hidden window, as window messages would.
            instance.SetHandler([&app](uint32_t msg, uint64_t wParam, int64_t lParam) {
                if (CMainHideWnd* hidden = app.HideWnd()) {
                    ccm_util::PostMessage(hidden->Handle(), msg, wParam,
                                          static_cast<ccm_util::LPARAM>(lParam));
                }
            });
            // lyntctl's commands, carried out as the user's own actions on the panel's workspace.
            ctl::CPanelExecutor commands(*app.WorkSpace(), *app.GetProtocol(), app.CardWorker(),
                                         app.loadingEffect);
            commands.SetSoundStore(app.MoodConfig(), appbase::DataFolder(), CloudBaseUrl());
            // Straight to the pads' page: no window message between the request and the player.
            commands.SetPadPlayer([&app](uint64_t which) {
                CMainDlg* main = app.Switcher().MainWindow();
                auto* pads = main ? main->FindPage<sound::ui::CEventHandlerSound>() : nullptr;
                return pads ? pads->PlayPadNow(which) : sound::PadOutcome::NoPlayer;
            });
            commands.SetCard({[&app] {
                                  CCardConnection* c = app.Connection();
                                  return c ? c->CardPath() : std::string();
                              },
                              [&app] {
                                  CCardConnection* c = app.Connection();
                                  return c ? c->BusyHolder() : std::string();
                              }});
            instance.SetRequestHandler(
                [&commands](const std::string& body,
                            const std::shared_ptr<platform::instance::IPanelReply>& reply) {
                    commands.Run(body, reply);
                });
            result = QApplication::exec();
            // Commands still running (a clip on its way, monitor) end before the card goes.
            commands.EndAll();
            instance.EndRequests();
            app.StopWindows();
        }
        app.Exit();
    }
    return result;
}
