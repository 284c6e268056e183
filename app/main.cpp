// velora: the control panel.
#include <QApplication>

#include "CrashHandler.h"
#include "DataFolder.h"
#include "MainHideWnd.h"
#include "SingleInstance.h"
#include "ccm_util/AppMessages.h"
#include "ccm_util/Dispatcher.h"
#include "ccm_util/MessagePoster.h"
#include "toolkit/QtDispatcher.h"
#include "ui/MainApp.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velora"));
    QApplication::setQuitOnLastWindowClosed(false);  // the tray keeps the program

    // One panel per user: a second start brings the first one's window forward and ends.
    CSingleInstance instance;
    if (!instance.Acquire()) {
        CSingleInstance::SendToRunning(UM_NOTIFY_MAIN, 5, 0);
        return 0;
    }
    CSingleInstance::CloseFirmwareTool();
    platform::crash::InstallCrashHandler(appbase::DataFolder(), "velora");

    toolkit::CQtDispatcher dispatcher;
    ccm_util::CScopedDispatcher scopedDispatcher(&dispatcher);

    int result = -1;
    {
        CMainApp app;
        if (app.Init()) {
            app.StartWindows();
            // Messages from other processes go to the hidden window, as window messages would.
            instance.Listen([&app](uint32_t msg, uint64_t wParam, int64_t lParam) {
                if (CMainHideWnd* hidden = app.HideWnd()) {
                    ccm_util::PostMessage(hidden->Handle(), msg, wParam, static_cast<ccm_util::LPARAM>(lParam));
                }
            });
            result = QApplication::exec();
            app.StopWindows();
        }
        app.Exit();
    }
    return result;
}
