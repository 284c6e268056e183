// The program shell: start-up order and failures, the tray, the exit guard, the close behaviour,
// the hidden window's messages and the device information, against an in-process virtual card.
#include <QDialog>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QInputMethodQueryEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <QTest>

#include <sys/stat.h>
#include <csignal>
#include <fstream>

#include "../core/TempDir.h"
#include "CardConnection.h"
#include "ConfigData.h"
#include "DlgDeviceInfo.h"
#include "MainApp.h"
#include "MainDlg.h"
#include "MainHideWnd.h"
#include "PrivateCopy.h"
#include "SessionEvents.h"
#include "QVAudioProtocol.h"
#include "VirtualCardServer.h"
#include "WorkSpace.h"
#include "ccm_util/AppMessages.h"
#include "ccm_util/Dispatcher.h"
#include "profile/Profile.h"
#include "toolkit/Controls.h"
#include "toolkit/Menu.h"
#include "toolkit/MessageBox.h"
#include "toolkit/PageController.h"
#include "toolkit/QtDispatcher.h"

namespace {

// Start-up that fails where a test says.
class TestApp : public CMainApp {
public:
    bool failUi = false;
    bool failWorkSpace = false;

protected:
    bool SetupUi() override { return !failUi && CMainApp::SetupUi(); }
    bool CreateWorkSpace() override { return !failWorkSpace && CMainApp::CreateWorkSpace(); }
};

// Calls fn once, from whatever event loop runs, as soon as a message box is the active modal
// window; a test that waits on a box therefore fails instead of hanging in the box's loop.
class BoxWatcher : public QObject {
public:
    explicit BoxWatcher(std::function<void(QDialog*)> fn) : m_fn(std::move(fn)) {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (box && !fired) {
                fired = true;
                seen = box;
                m_fn(box);
            }
        });
        m_timer.start();
    }
    bool fired = false;
    QPointer<QDialog> seen;

private:
    std::function<void(QDialog*)> m_fn;
    QTimer m_timer;
};

// A page as the effects and sound-pad pages are written: it knows the toolkit only.
class CRecordingPage : public toolkit::IPageController {
public:
    toolkit::CHostWindow* window = nullptr;
    QList<int> menus;
    QStringList events;
    void Setup(toolkit::CHostWindow& w) override { window = &w; }
    bool OnWindowMessage(uint32_t, ccm_util::WPARAM, ccm_util::LPARAM) override { return false; }
    bool OnControlEvent(const toolkit::ControlEvent& ev) override {
        events << ev.controlName;
        return ev.controlName == QLatin1String("btn_menu");
    }
    bool OnMenuCommand(int id) override {
        menus << id;
        return id == 3;
    }
};

}  // namespace

class TestShell : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<vcard::CVirtualCardServer> card;
    std::unique_ptr<TestApp> app;
    toolkit::CQtDispatcher dispatcher;
    std::unique_ptr<ccm_util::CScopedDispatcher> scoped;

    void StartCard(vcard::CardIdentity identity = {}) {
        vcard::ServerOptions o;
        o.socketPath = dir->Path() / "cards" / "#VID_2B53&PID_0041#0";
        o.identity = identity;
        std::filesystem::create_directories(o.socketPath.parent_path());
        card = std::make_unique<vcard::CVirtualCardServer>(o);
        QVERIFY(card->Start());
    }

    void SetCloseOperation(int value) {
        std::filesystem::path settings = dir->Path() / "data" / "Velora" / "LyntConfigData.db";
        std::filesystem::create_directories(settings.parent_path());
        platform::profile::WritePrivateProfileString(u"Settings", u"CloseBtnOperation",
                                                     std::to_string(value), settings);
    }

    // Init, the hidden window, and the main window 300 ms later.
    void StartApp() {
        app = std::make_unique<TestApp>();
        app->trayAvailable = [] { return true; };
        QVERIFY(app->Init());
        app->StartWindows();
        QTRY_VERIFY_WITH_TIMEOUT(app->Switcher().MainWindow() != nullptr, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!app->Connection()->IsConnecting(), 5000);
    }

    // The main window's device information, as the card worker delivers it.
    QString DeviceInfo() {
        QString text;
        bool delivered = false;
        app->Switcher().MainWindow()->QueryDeviceInfoText([&](const QString& t) {
            text = t;
            delivered = true;
        });
        if (!QTest::qWaitFor([&] { return delivered; }, 5000)) {
            return QStringLiteral("(no answer delivered)");
        }
        return text;
    }

    // The program's event loop, as velora's main runs it, until the program quits (a program
    // that never quits fails the test instead of hanging it).
    static int RunUntilQuit() {
        QTimer stuck;
        stuck.setSingleShot(true);
        connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        stuck.start(20000);
        return QCoreApplication::exec();
    }

private slots:
    void init() {
        dir = std::make_unique<TempDir>();
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((dir->Path() / "data").string()));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir->Path() / "config").string()));
        qputenv("LYNT_VIRTUAL_CARD_DIR", QByteArray::fromStdString((dir->Path() / "cards").string()));
        scoped = std::make_unique<ccm_util::CScopedDispatcher>(&dispatcher);
    }

    void cleanup() {
        app.reset();
        card.reset();
        scoped.reset();
        dir.reset();
    }

    void initRunsInOrderAndConnectsTheCard() {
        StartCard();
        app = std::make_unique<TestApp>();
        QVERIFY(app->Init());
        const std::vector<std::string> expected = {
            "settings",       "sound-pad settings", "ui",  "system information", "device notifications", "workspace",
            "device builder", "card"};
        QCOMPARE(app->InitSteps(), expected);
        // Init asks for the start-up exchange; the card answers while the program goes on.
        QVERIFY(app->Connection()->IsConnecting());
        QTRY_VERIFY(app->Connection()->IsConnected());
    }

    void initFailsWithoutUiOrWorkspace() {
        TestApp noUi;
        noUi.failUi = true;
        QVERIFY(!noUi.Init());
        QCOMPARE(noUi.InitSteps().back(), std::string("settings"));

        TestApp noWorkspace;
        noWorkspace.failWorkSpace = true;
        QVERIFY(!noWorkspace.Init());
        QCOMPARE(noWorkspace.InitSteps().back(), std::string("device notifications"));
    }

    void upgradeRequestWithoutMainWindowDoesNothing() {
        app = std::make_unique<TestApp>();
        QVERIFY(app->Init());
        app->StartWindows();
        // A box opened by mistake is closed again, so the test fails instead of waiting in it.
        BoxWatcher watcher([](QDialog* box) { box->done(toolkit::IDOK); });
        // Before the switch timer fires there is no main window yet.
        QVERIFY(ccm_util::PostMessage(app->HideWnd()->Handle(), UM_SHOW_UPGRADE, 0, 0));
        QCoreApplication::processEvents();
        QVERIFY2(!watcher.fired, "the upgrade request opened a box without a main window");
    }

    // Every way the program ends, taken while a modal box is open over the main window: the box's
    // loop ends first and nothing is deleted from under it; the card hears the goodbye.
    void endsCleanlyWithAModalDialogOpen_data() {
        QTest::addColumn<QString>("end");
        QTest::newRow("SIGTERM") << QStringLiteral("sigterm");
        QTest::newRow("logind shutdown") << QStringLiteral("logind");
        QTest::newRow("tray Exit") << QStringLiteral("tray");
        QTest::newRow("main window closed") << QStringLiteral("close");
    }

    void endsCleanlyWithAModalDialogOpen() {
        QFETCH(QString, end);
        const bool quits = end != QLatin1String("close");
        if (!quits) {
            SetCloseOperation(0);  // closing the window keeps the program in the tray
        }
        StartCard();
        StartApp();
        QPointer<CMainDlg> main = app->Switcher().MainWindow();
        BoxWatcher watcher([&](QDialog*) {
            if (end == QLatin1String("sigterm")) {
                ::raise(SIGTERM);
            } else if (end == QLatin1String("logind")) {
                QMetaObject::invokeMethod(app->SessionEvents(), "OnPrepareForShutdown",
                                          Qt::DirectConnection, Q_ARG(bool, true));
            } else if (end == QLatin1String("tray")) {
                app->HideWnd()->OnTrayCommand(10);
            } else {
                main->close();
            }
        });
        // The firmware request opens its dialog modally inside the main window's message handler.
        QVERIFY(ccm_util::PostMessage(main->Handle(), UM_SHOW_UPGRADE, 0, 0));
        if (quits) {
            QCOMPARE(RunUntilQuit(), 0);
            QVERIFY(app->QuitRequested());
            app->StopWindows();  // what velora's main does after its loop
        } else {
            QTRY_VERIFY(main.isNull());
            QVERIFY(!app->QuitRequested());
        }
        QVERIFY(watcher.fired);
        QVERIFY(watcher.seen.isNull());  // the box ended and went with its loop
        QVERIFY(main.isNull());
        // The goodbye goes out on the card worker, right after.
        QTRY_VERIFY_WITH_TIMEOUT(card->StateJson().find("\"host_state\":0") != std::string::npos,
                                 5000);
    }

    // Quitting while an effect file goes to the card: the download's wait for the card ends
    // with the card's detach, and the download is over before the device manager it uses goes.
    void quittingDuringAnEffectDownload() {
        StartCard();
        StartApp();
        QTRY_VERIFY(app->Connection()->IsConnected());
        card->SetReplyDelayMs(100);
        std::vector<card::Frame> frames(200);
        for (card::Frame& f : frames) f[0] = card::CMD_EFX_RECORDS_B;
        QVERIFY(app->GetProtocol()->StartDownload(frames));
        QTRY_VERIFY(card->StateJson().find("\"host_state\":1") != std::string::npos);
        QTest::qWait(150);  // the worker is inside an exchange
        QVERIFY(app->GetProtocol()->IsDownloading());
        app->StopWindows();
        app.reset();  // would free the manager under the download's exchange
        QVERIFY(card->StateJson().find("\"host_state\":0") != std::string::npos);
    }

    void aboutCommandNineIsModal() {
        StartApp();
        CMainDlg* main = app->Switcher().MainWindow();
        main->OnCommand(9);
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        QCOMPARE(modal->objectName(), QStringLiteral("AboutDlg"));
        modal->close();
        // The main menu's "About" (3), as the menu delivers it: the pop-up stays modeless.
        QVERIFY(toolkit::SendMenuCommand(main, 3));
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QWidget* popup = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("AboutDlg") && w->isVisible())
                popup = w;
        }
        QVERIFY(popup);
        popup->close();
    }

    void pagesSeeAHostWindowAndGetItsEventsFirst() {
        StartApp();
        CMainDlg* main = app->Switcher().MainWindow();
        auto owned = std::make_unique<CRecordingPage>();
        CRecordingPage* page = owned.get();
        main->AddPage(std::move(owned));
        main->OnInitDialog();
        QCOMPARE(page->window, static_cast<toolkit::CHostWindow*>(main));
        // "About" from the menu is the page's; a control event it takes never reaches the
        // window's own handler (the main menu).
        QVERIFY(toolkit::SendMenuCommand(main, 3));
        QCOMPARE(page->menus, QList<int>{3});
        main->FindChildByName<QAbstractButton>(QStringLiteral("btn_menu"))->click();
        QCOMPARE(page->events.last(), QStringLiteral("btn_menu"));
        QVERIFY(!QApplication::activePopupWidget());
        // The main window's edit fields take no input method.
        QInputMethodQueryEvent query(Qt::ImEnabled);
        QApplication::sendEvent(toolkit::FindById<QLineEdit>(main, 6009), &query);
        QCOMPARE(query.value(Qt::ImEnabled).toBool(), false);
    }

    void leavingAlwaysOnTopChangesTheFlagInPlace() {
        StartApp();
        CMainDlg* main = app->Switcher().MainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        QVERIFY(main->windowFlags() & Qt::WindowStaysOnTopHint);
        int hides = 0;
        struct HideCounter : QObject {
            int* n;
            explicit HideCounter(int* count) : n(count) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Hide)
                    ++*n;
                return false;
            }
        } counter(&hides);
        main->installEventFilter(&counter);
        main->SetTimer(CMainDlg::kTopmostTimerId, 0);  // the end of the start-up phase, now
        QTRY_VERIFY(!(main->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(!(main->windowHandle()->flags() & Qt::WindowStaysOnTopHint));
        QCOMPARE(hides, 0);  // not hidden and shown again
        QVERIFY(main->isVisible());
        main->removeEventFilter(&counter);
    }

    void trayMenuIsTheIconsContextMenu() {
        StartApp();
        QSystemTrayIcon* tray = app->HideWnd()->TrayIcon();
        QVERIFY(tray);
        QMenu* menu = tray->contextMenu();
        QVERIFY(menu);  // trays that only show an exported menu reach "Exit" through it
        QAction* exit = nullptr;
        for (QAction* a : menu->actions()) {
            if (toolkit::CMenu::ItemId(a) == 10)
                exit = a;
        }
        QVERIFY(exit);
        QCOMPARE(exit->text(), QStringLiteral("Exit"));
        exit->trigger();
        QCOMPARE(RunUntilQuit(), 0);
        QVERIFY(app->QuitRequested());
    }

    void upgradeToolRunsFromAPrivateCopy() {
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir->Path().string()));
        ::chmod(dir->Path().c_str(), 0700);
        const std::filesystem::path source = dir->Path() / "upgrade";
        std::ofstream(source) << "#!/bin/sh\necho upgraded\n";
        const std::filesystem::path folder = private_copy::PrivateFolder();
        QCOMPARE(folder, dir->Path() / "velora-upgrade");
        // Something planted under the name beforehand is replaced, never written through.
        const std::filesystem::path elsewhere = dir->Path() / "elsewhere";
        std::ofstream(elsewhere) << "keep";
        std::filesystem::create_symlink(elsewhere, folder / "Velora_upgrade");
        const std::filesystem::path copy =
            private_copy::CopyForRun(source, folder, "Velora_upgrade");
        QCOMPARE(copy, folder / "Velora_upgrade");
        QVERIFY(private_copy::IsOurPrivateFile(copy));
        QVERIFY(!std::filesystem::is_symlink(copy));
        std::ifstream kept(elsewhere);
        std::string text;
        kept >> text;
        QCOMPARE(text, std::string("keep"));
        struct stat st {};
        QCOMPARE(::stat(copy.c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        // A folder others can enter is refused.
        ::chmod(folder.c_str(), 0755);
        QVERIFY(private_copy::CopyForRun(source, folder, "Velora_upgrade").empty());
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void trayClicksHideAndShow() {
        StartApp();
        CMainDlg* main = app->Switcher().MainWindow();
        QVERIFY(main->isVisible());
        app->HideWnd()->OnTrayClicked();
        QVERIFY(!main->isVisible());
        app->HideWnd()->OnTrayClicked();
        QVERIFY(main->isVisible());
        QCOMPARE(app->Switcher().MainWindow(), main);  // the same window, shown again
    }

    void showMessageBringsTheWindowBack() {
        StartApp();
        app->Switcher().MainWindow()->hide();
        QVERIFY(ccm_util::PostMessage(app->HideWnd()->Handle(), UM_NOTIFY_MAIN, 5, 0));
        QTRY_VERIFY(app->Switcher().MainWindow()->isVisible());
    }

    void exitIsRefusedWhileBusy() {
        StartApp();
        for (auto* flag : {&app->loadingEffect, &app->upgradingFirmware}) {
            flag->store(1);
            QString seen;
            QTimer::singleShot(50, [&seen] {
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    if (auto* box = qobject_cast<toolkit::CMessageBox*>(w); box && box->isVisible()) {
                        seen = box->Text();
                        box->EndDialog(toolkit::IDOK);
                    }
                }
            });
            app->HideWnd()->OnTrayCommand(10);
            QVERIFY(!seen.isEmpty());
            QVERIFY(!app->QuitRequested());
            QVERIFY(app->Switcher().MainWindow() != nullptr);
            flag->store(0);
        }
        app->HideWnd()->OnTrayCommand(10);
        QVERIFY(app->QuitRequested());
        QVERIFY(app->Switcher().MainWindow() == nullptr);
    }

    void closingQuitsAfterSavingByDefault() {
        StartCard();
        StartApp();
        app->WorkSpace()->SetParam(30, 61);
        app->Switcher().MainWindow()->close();
        QTRY_VERIFY(app->QuitRequested());
        QTRY_VERIFY(card->StateJson().find("\"host_state\":0") != std::string::npos);
        CWorkSpace saved(CConfigData::Instance().GetPath(), dir->Path() / "data" / "Velora");
        QCOMPARE(saved.GetParam(30), 61);
    }

    void closingToTheTrayKeepsRunning() {
        SetCloseOperation(0);
        StartCard();
        StartApp();
        CMainDlg* first = app->Switcher().MainWindow();
        first->close();
        QTRY_VERIFY(app->Switcher().MainWindow() == nullptr);
        QVERIFY(!app->QuitRequested());
        app->HideWnd()->OnTrayCommand(7);  // "Show" builds a fresh window
        QTRY_VERIFY_WITH_TIMEOUT(app->Switcher().MainWindow() != nullptr, 3000);
        QTRY_VERIFY(app->Connection()->IsConnected());  // and the card is greeted again
    }

    void withoutATrayClosingEndsTheProgram() {
        SetCloseOperation(0);
        app = std::make_unique<TestApp>();
        app->trayAvailable = [] { return false; };
        QVERIFY(app->Init());
        app->StartWindows();
        QTRY_VERIFY_WITH_TIMEOUT(app->Switcher().MainWindow() != nullptr, 3000);
        app->Switcher().MainWindow()->close();
        QTRY_VERIFY(app->QuitRequested());
    }

    void deviceInformationText() {
        StartCard({12, 105, 1});
        StartApp();
        QCOMPARE(DeviceInfo(),
                 QStringLiteral("产品名称：Orin LYNT!\n硬件版本：V1.2\n固件版本：V10.5\n设备类型：声卡\n"));
        cleanup();
        init();
        StartCard({10, 23, 9});
        StartApp();
        QVERIFY(DeviceInfo().endsWith(QStringLiteral("设备类型：其他\n")));
    }

    void noCardMeansNoDeviceInformation() {
        StartApp();
        QVERIFY(DeviceInfo().isEmpty());
    }
};

QTEST_MAIN(TestShell)
#include "tst_app.moc"
