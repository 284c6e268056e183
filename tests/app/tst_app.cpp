// The program shell: start-up order and failures, the tray, the exit guard, the close behaviour,
// the hidden window's messages and the device information, against an in-process virtual card.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QtTest>

#include "../core/TempDir.h"
#include "CardConnection.h"
#include "ConfigData.h"
#include "DlgDeviceInfo.h"
#include "MainApp.h"
#include "MainDlg.h"
#include "MainHideWnd.h"
#include "VirtualCardServer.h"
#include "WorkSpace.h"
#include "ccm_util/AppMessages.h"
#include "ccm_util/Dispatcher.h"
#include "profile/Profile.h"
#include "toolkit/MessageBox.h"
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
            "settings", "sound-pad settings", "ui", "system information", "device notifications",
            "workspace", "device builder", "card"};
        QCOMPARE(app->InitSteps(), expected);
        // Init asks for the start-up exchange; the card answers while the program goes on.
        QVERIFY(app->Connection()->IsConnecting());
        QTRY_VERIFY(app->Connection()->IsConnected());
    }

    void initFailsWithoutUiOrWorkspace() {
        TestApp noUi;
        noUi.failUi = true;
        QVERIFY(!noUi.Init());
        QCOMPARE(noUi.InitSteps().back(), std::string("sound-pad settings"));

        TestApp noWorkspace;
        noWorkspace.failWorkSpace = true;
        QVERIFY(!noWorkspace.Init());
        QCOMPARE(noWorkspace.InitSteps().back(), std::string("device notifications"));
    }

    void upgradeRequestWithoutMainWindowDoesNothing() {
        app = std::make_unique<TestApp>();
        QVERIFY(app->Init());
        app->StartWindows();
        // Before the switch timer fires there is no main window yet.
        QVERIFY(ccm_util::PostMessage(app->HideWnd()->Handle(), UM_SHOW_UPGRADE, 0, 0));
        QCoreApplication::processEvents();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            QVERIFY(!qobject_cast<toolkit::CMessageBox*>(w));
        }
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
        QCOMPARE(card->StateJson().find("\"host_state\":0") != std::string::npos, true);
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
