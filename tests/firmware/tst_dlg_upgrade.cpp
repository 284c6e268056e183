// The firmware dialog on real widgets against the in-process virtual card and its loader: every
// way it ends, what it shows, and the exit guard while it writes.
#include <stdlib.h>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <json/json.h>
#include <xcb/xcb.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "CardLink.h"
#include "CloudSim.h"
#include "DlgUpgradeFirmware.h"
#include "FirmwareTexts.h"
#include "FwPack.h"
#include "HttpFirmwareServer.h"
#include "LocalPackageServer.h"
#include "QVAudioProtocol.h"
#include "TempDir.h"
#include "VirtualCardServer.h"
#include "WorkSpace.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"
#include "common/Device/VirtualCard/VirtualCardDevice.h"
#include "toolkit/QtDispatcher.h"
#include "toolkit/Toolkit.h"

using namespace firmware;

namespace {

// The window manager's close request, as a window manager sends it: a WM_PROTOCOLS client
// message naming WM_DELETE_WINDOW.
bool SendWmDelete(WId window) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return false;
    }
    auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(r);
        return a;
    };
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window);
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, event.window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    const bool ok = xcb_flush(c) > 0;
    xcb_disconnect(c);
    return ok;
}

// The program's own link to the card with a gate in front of the image blocks: from block
// `holdAt` on the writer waits until the test opens it, so the test acts while the write is
// surely under way, however fast or slow the machine, with no image sized to outlast it.
class CHeldLink : public ICardLink {
public:
    CHeldLink(std::unique_ptr<ICardLink> link, int holdAt)
        : m_link(std::move(link)), m_holdAt(holdAt) {}
    bool IsOpen() override { return m_link->IsOpen(); }
    bool Exchange(const card::Frame& request, card::Frame& reply, card::Timing timing) override {
        if (request[0] == card::CMD_FW_DATA && ((request[1] << 8) | request[2]) >= m_holdAt) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_held = true;
            // Bounded, so a test that fails before it opens the gate still ends.
            m_opened.wait_for(lock, std::chrono::seconds(60), [this] { return m_open; });
            m_held = false;
        }
        return m_link->Exchange(request, reply, timing);
    }
    bool OpenLoader(std::chrono::milliseconds wait) override { return m_link->OpenLoader(wait); }
    bool LoaderPresent() override { return m_link->LoaderPresent(); }
    bool LoaderOpen() override { return m_link->LoaderOpen(); }
    void Release() override { m_link->Release(); }

    // The writer waits at the gate.
    bool Held() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_held;
    }
    void Open() {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }

private:
    std::unique_ptr<ICardLink> m_link;
    const int m_holdAt;
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
    bool m_held = false;
};

// A card on the real transport and a dialog over it.
struct Rig {
    explicit Rig(uint8_t firmwareByte, int failBlock = -1, bool plugged = true) {
        // Through Qt: its test watchdog thread reads the environment under Qt's lock, and a bare
        // setenv() beside that read once crashed the test.
        qputenv(CVirtualCardDevice::kFolderVariable, QByteArray(dir.Path().c_str()));
        std::filesystem::create_directory(dir.Path() / "run");
        std::filesystem::permissions(dir.Path() / "run", std::filesystem::perms::owner_all);
        qputenv("XDG_RUNTIME_DIR", QByteArray((dir.Path() / "run").c_str()));
        vcard::ServerOptions options;
        options.socketPath = dir.Path() / "#VID_2B53&PID_0041#0";
        options.identity.firmwareVersion = firmwareByte;
        options.loaderFailBlock = failBlock;
        card = std::make_unique<vcard::CVirtualCardServer>(options);
        card->Start();
        builder.CreateManager(&protocol);
        if (plugged) {
            builder.OpenDevicePath(card->DevicePath());
        }
        protocol.SetReplyTimeoutLimit(50);
        workspace = std::make_unique<CWorkSpace>(dir.Path() / "LyntConfigData.db", dir.Path());
    }
    ~Rig() {
        if (held) {
            held->Open();
        }
        dialog.reset();
        builder.GetManager()->DetachDevice();
        qunsetenv(CVirtualCardDevice::kFolderVariable);
        qunsetenv("XDG_RUNTIME_DIR");
    }
    CDlgUpgradeFirmware& Open(const fwpack::PackageRecipe& recipe, int holdAt = -1) {
        return Open(std::make_unique<CLocalPackageServer>(fwpack::BuildPackage(recipe)), holdAt);
    }
    // holdAt >= 0: the write waits before that block until held->Open().
    CDlgUpgradeFirmware& Open(std::unique_ptr<IFirmwareServer> server, int holdAt = -1) {
        std::unique_ptr<ICardLink> link =
            std::make_unique<CHidCardLink>(builder, protocol, *workspace, nullptr);
        held = nullptr;
        if (holdAt >= 0) {
            auto gate = std::make_unique<CHeldLink>(std::move(link), holdAt);
            held = gate.get();
            link = std::move(gate);
        }
        dialog = std::make_unique<CDlgUpgradeFirmware>(std::move(link), std::move(server),
                                                       upgrading, nullptr);
        Pauses fast;
        fast.afterBlockMs = 1;
        fast.beforeProcedureMs = 1;
        fast.beforeStepMs = 1;
        fast.stepRetryMs = 1;
        fast.loaderRoundMs = 20;
        dialog->SetPauses(fast);
        dialog->SetConfirm([](QWidget*) { return true; });
        dialog->Manager().SetSettingsFile(dir.Path() / "LyntConfigData.db");
        return *dialog;
    }
    Json::Value Firmware() {
        Json::Value v;
        Json::Reader().parse(card->StateJson(), v);
        return v["firmware"];
    }
    QString Text(const char* name) {
        return dialog->FindChildByName<QLabel>(QLatin1String(name))->text();
    }
    bool Visible(const char* name) {
        return !dialog->FindChildByName<QWidget>(QLatin1String(name))->isHidden();
    }

    TempDir dir;
    std::unique_ptr<vcard::CVirtualCardServer> card;
    CQVAudioProtocol protocol;
    CHidDeviceBuilder builder;
    std::unique_ptr<CWorkSpace> workspace;
    std::atomic<int> upgrading{0};
    std::unique_ptr<CDlgUpgradeFirmware> dialog;
    CHeldLink* held = nullptr;  // owned by the dialog
};

}  // namespace

class TestDlgUpgrade : public QObject {
    Q_OBJECT
    toolkit::CQtDispatcher m_dispatcher;
    std::unique_ptr<ccm_util::CScopedDispatcher> m_installed;

private slots:
    void initTestCase() {
        toolkit::Initialize();
        m_installed = std::make_unique<ccm_util::CScopedDispatcher>(&m_dispatcher);
    }

    void upgradeAvailableWritesAndFinishes() {
        Rig rig(23);
        CDlgUpgradeFirmware& dialog = rig.Open(fwpack::SimplePackage("2.4", 3000));
        QTRY_COMPARE_WITH_TIMEOUT(dialog.State(), int(CDlgUpgradeFirmware::kPackageReady), 5000);
        QCOMPARE(rig.Text("txt_msg"),
                 QStringLiteral("当前固件版本：2.3\n当前硬件版本：1.0\n最新固件版本：2."
                                "4\n\n点击“立即升级”按钮开始升级"));
        QVERIFY(rig.Visible("btn_upgrade"));
        QVERIFY(!rig.Visible("progress"));

        dialog.OnUpgradeClicked();
        QCOMPARE(rig.upgrading.load(), 1);  // the exit guard holds from the click on
        QVERIFY(!rig.Visible("btn_close"));
        QTRY_VERIFY_WITH_TIMEOUT(dialog.Finished(), 10000);
        QCOMPARE(rig.upgrading.load(), 0);
        QCOMPARE(rig.Text("txt_msg"), QString::fromUtf8(kDoneText));
        QVERIFY(rig.Visible("btn_OK"));
        QVERIFY(rig.Visible("btn_close"));
        QVERIFY(rig.Firmware()["check_passed"].asBool());
        QVERIFY(!rig.builder.GetManager()->IsOpen());  // let go until it is plugged in again
    }

    void upToDateOffersNothing() {
        Rig rig(24);
        CDlgUpgradeFirmware& dialog = rig.Open(fwpack::SimplePackage("2.4", 100));
        QTRY_COMPARE_WITH_TIMEOUT(dialog.State(), int(CDlgUpgradeFirmware::kPackageReady), 5000);
        QVERIFY(rig.Text("txt_msg").endsWith(QString::fromUtf8(kUpToDate)));
        QVERIFY(!rig.Visible("btn_upgrade"));
        QVERIFY(!rig.Visible("btn_retry"));
    }

    void noCardOffersRetryThatFindsIt() {
        Rig rig(23, -1, false);
        CDlgUpgradeFirmware& dialog = rig.Open(fwpack::SimplePackage("2.4", 100));
        QTRY_VERIFY_WITH_TIMEOUT(rig.Visible("btn_retry"), 3000);
        QCOMPARE(rig.Text("txt_msg"), QString::fromUtf8(kErrNoCard));
        QVERIFY(rig.dialog->FindChildByName<QLabel>(QStringLiteral("txt_msg"))
                    ->styleSheet()
                    .contains(QStringLiteral("200, 0, 0")));
        rig.builder.OpenDevicePath(rig.card->DevicePath());
        dialog.OnRetryClicked();
        QTRY_COMPARE_WITH_TIMEOUT(dialog.State(), int(CDlgUpgradeFirmware::kPackageReady), 5000);
        QVERIFY(rig.Visible("btn_upgrade"));
    }

    void failedWritesShowTheRecoveryTextWithoutRetry() {
        Rig rig(23, 2);
        CDlgUpgradeFirmware& dialog = rig.Open(fwpack::SimplePackage("2.4", 600));
        QTRY_COMPARE_WITH_TIMEOUT(dialog.State(), int(CDlgUpgradeFirmware::kPackageReady), 5000);
        dialog.OnUpgradeClicked();
        QTRY_VERIFY_WITH_TIMEOUT(rig.upgrading.load() == 0, 15000);
        QCOMPARE(rig.Text("txt_msg"), QString::fromUtf8(kErrWriteFailed));
        QVERIFY(rig.Text("txt_currentaction").startsWith(QString::fromUtf8(kRecoveryText)));
        QVERIFY(rig.Text("txt_currentaction").contains(QStringLiteral("客服电话：")));
        QVERIFY(!rig.Visible("btn_retry"));
        QVERIFY(rig.Visible("btn_close"));
        QVERIFY(!dialog.Finished());
    }

    // The cloud service refusing first, then offering its package on the retry.
    void cloudRefusalOffersRetryThatFindsTheUpgrade() {
        cloudsim::SimOptions options;
        options.faults["upgrade"] = cloudsim::Fault::kNotOk;
        cloudsim::CCloudSim cloud(std::move(options));
        QVERIFY(cloud.Start(0));
        Rig rig(23);
        CDlgUpgradeFirmware& dialog =
            rig.Open(std::make_unique<CHttpFirmwareServer>(cloud.BaseUrl()));
        QTRY_VERIFY_WITH_TIMEOUT(rig.Visible("btn_retry"), 10000);
        QCOMPARE(rig.Text("txt_msg"), QString::fromUtf8(kErrServerInfo));
        QVERIFY(!rig.Visible("btn_upgrade"));

        cloud.SetFault("upgrade", cloudsim::Fault::kNone);
        dialog.OnRetryClicked();
        QTRY_COMPARE_WITH_TIMEOUT(dialog.State(), int(CDlgUpgradeFirmware::kPackageReady), 10000);
        QVERIFY(rig.Text("txt_msg").contains(QStringLiteral("最新固件版本：2.4")));
        QVERIFY(rig.Visible("btn_upgrade"));
        QCOMPARE(cloud.Requests("/files/firmware/"), size_t(1));
    }

    // A card found in its loader whose hardware nobody remembered is refused: the package cannot
    // be checked against it (its only hardware element used to be taken as the card's).
    void cardInItsLoaderWithNothingRememberedIsRefused() {
        Rig rig(23);
        card::Frame boot{};
        boot[0] = card::CMD_FW_ENTER_BOOT;
        card::Frame reply{};
        CHidCardLink(rig.builder, rig.protocol, *rig.workspace, nullptr)
            .Exchange(boot, reply, {1, 500});
        QTRY_VERIFY_WITH_TIMEOUT(rig.card->InLoader(), 3000);
        rig.builder.GetManager()->DetachDevice();

        rig.Open(fwpack::SimplePackage("2.4", 700));
        QTRY_COMPARE_WITH_TIMEOUT(rig.Text("txt_msg"), QString::fromUtf8(kErrUnknownHardware),
                                  3000);
        QTest::qWait(200);
        QVERIFY(!rig.Visible("btn_upgrade"));
        QVERIFY(rig.Firmware()["blocks"].asInt() == 0);
    }

    // After a write that failed once the card was touched, the dialog opened again in the same
    // session finds the loader and writes, checked against the hardware remembered before the
    // card entered it (it used to ask the loader for the card's information and say
    // "获取设备信息失败" until the program was restarted).
    void reopenedAfterAFailedWriteWritesAgain() {
        Rig rig(23, 2);
        CDlgUpgradeFirmware& first = rig.Open(fwpack::SimplePackage("2.4", 600));
        QTRY_COMPARE_WITH_TIMEOUT(first.State(), int(CDlgUpgradeFirmware::kPackageReady), 5000);
        first.OnUpgradeClicked();
        QTRY_VERIFY_WITH_TIMEOUT(rig.upgrading.load() == 0, 15000);
        QCOMPARE(rig.Text("txt_msg"), QString::fromUtf8(kErrWriteFailed));
        QVERIFY(rig.card->InLoader());
        rig.dialog.reset();

        rig.card->SetLoaderFailBlock(-1);
        CDlgUpgradeFirmware& second = rig.Open(fwpack::SimplePackage("2.4", 600));
        QTRY_COMPARE_WITH_TIMEOUT(second.State(), int(CDlgUpgradeFirmware::kPackageReady), 5000);
        QVERIFY(rig.Text("txt_msg").contains(QStringLiteral("当前硬件版本：1.0")));
        QVERIFY(rig.Visible("btn_upgrade"));
        second.OnUpgradeClicked();
        QTRY_VERIFY_WITH_TIMEOUT(second.Finished(), 10000);
        QVERIFY(rig.Firmware()["check_passed"].asBool());
    }

    // While the images are written the user cannot end the dialog: Escape, the close button and
    // the window manager's close are refused, and the write finishes with the loader's check
    // passed. (Escape used to close it; the writer stopped at its next block and left the card in
    // its loader with part of an image.) Under an X server (QT_QPA_PLATFORM=xcb) the window
    // manager's close is a real WM_DELETE_WINDOW message to the dialog's window.
    void userCannotCloseWhileWriting() {
        const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
        Rig rig(23);
        CDlgUpgradeFirmware& dialog = rig.Open(fwpack::SimplePackage("2.4", 3000), 4);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_COMPARE_WITH_TIMEOUT(dialog.State(), int(CDlgUpgradeFirmware::kPackageReady), 5000);
        dialog.OnUpgradeClicked();
        // Four blocks written, the fifth held back until every close was tried.
        QTRY_VERIFY_WITH_TIMEOUT(rig.held->Held(), 10000);
        QCOMPARE(rig.Firmware()["blocks"].asInt(), 4);

        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.RefusedCloses(), 1, 3000);
        dialog.FindChildByName<QPushButton>(QStringLiteral("btn_close"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(dialog.RefusedCloses(), 2, 3000);
        if (x11) {
            // The message goes through the X server; give it a few tries (a repeat is refused
            // the same way, so the count only has to pass 2).
            for (int i = 0; i < 5 && dialog.RefusedCloses() == 2; ++i) {
                QVERIFY(SendWmDelete(dialog.winId()));
                (void)QTest::qWaitFor([&] { return dialog.RefusedCloses() > 2; }, 1000);
            }
            QVERIFY(dialog.RefusedCloses() > 2);
        } else {
            dialog.close();  // what the window manager's close request becomes
            QTRY_COMPARE_WITH_TIMEOUT(dialog.RefusedCloses(), 3, 3000);
        }
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.State(), int(CDlgUpgradeFirmware::kWriting));
        QVERIFY(rig.held->Held());  // the refusals came while the write was under way
        rig.held->Open();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.Finished(), 10000);
        QVERIFY(rig.Firmware()["check_passed"].asBool());
        QCOMPARE(rig.Firmware()["blocks"].asInt(), 51);  // ceil(3000 / 59)

        // Finished, it closes as any dialog.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTRY_VERIFY(!dialog.isVisible());
    }

    // While an effect file or clip loads into the card the write does not start: the card is
    // never sent to its loader behind the load's back.
    void noWriteWhileAFileLoads() {
        Rig rig(23);
        bool loading = true;
        CDlgUpgradeFirmware& dialog = rig.Open(fwpack::SimplePackage("2.4", 600));
        dialog.SetLoadingCheck([&loading] { return loading; });
        QTRY_COMPARE_WITH_TIMEOUT(dialog.State(), int(CDlgUpgradeFirmware::kPackageReady), 5000);
        dialog.OnUpgradeClicked();
        QCOMPARE(rig.Text("txt_msg"), QString::fromUtf8(kErrLineBusy));
        QCOMPARE(rig.upgrading.load(), 0);
        QTest::qWait(100);
        QVERIFY(!rig.card->InLoader());
        loading = false;
        dialog.OnUpgradeClicked();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.Finished(), 10000);
    }

    // The program ending while the images are written: the dialog goes, its worker stops at the
    // next block, nothing is left running.
    void closedWhileWritingEndsCleanly() {
        Rig rig(23);
        CDlgUpgradeFirmware& dialog = rig.Open(fwpack::SimplePackage("2.4", 200000));
        QTRY_COMPARE_WITH_TIMEOUT(dialog.State(), int(CDlgUpgradeFirmware::kPackageReady), 5000);
        dialog.OnUpgradeClicked();
        QTRY_VERIFY_WITH_TIMEOUT(rig.Firmware()["blocks"].asInt() > 5, 10000);
        rig.dialog.reset();
        QCOMPARE(rig.upgrading.load(), 0);
        const int blocks = rig.Firmware()["blocks"].asInt();
        QTest::qWait(100);
        QCOMPARE(rig.Firmware()["blocks"].asInt(), blocks);
        QVERIFY(!rig.Firmware()["check_passed"].asBool());
    }
};

QTEST_MAIN(TestDlgUpgrade)
#include "tst_dlg_upgrade.moc"
