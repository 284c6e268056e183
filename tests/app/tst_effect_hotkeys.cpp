// The effects page's global hotkeys with a fake hotkey service: presses act as the buttons'
// clicks only while the card is connected, the menus set and refuse hotkeys, and a hotkey set to
// the value it has writes nothing.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <fstream>
#include <sstream>

#include "../core/TempDir.h"
#include "../effects/OpenCard.h"
#include "ConfigData.h"
#include "FakeHotkeys.h"
#include "MoodConfig.h"
#include "WorkSpace.h"
#include "app/ui/AppLayouts.h"
#include "app/ui/HotkeyRegistrarAdapter.h"
#include "ccm_util/Dispatcher.h"
#include "effects/ui/EventHandlerEffect.h"
#include "profile/Profile.h"
#include "toolkit/HostWindow.h"
#include "toolkit/Menu.h"
#include "toolkit/SHotKeyCtrl.h"
#include "toolkit/Toolkit.h"
#include "widgets/CTipWnd.h"
#include "widgets/SInputHotKeyDlg.h"
#include "widgets/Widgets.h"

using platform::hotkeys::Availability;
using platform::hotkeys::CFakeHotkeys;

namespace {

constexpr uint32_t kCtrlF1 = sound::MakeHotkey(sound::kHotkeyCtrl, 0x70);
constexpr uint32_t kCtrlF2 = sound::MakeHotkey(sound::kHotkeyCtrl, 0x71);

std::string FileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

class TestEffectHotkeys : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::filesystem::path m_settings;
    std::unique_ptr<CFakeHotkeys> m_service;
    std::unique_ptr<CHotkeyRegistrarAdapter> m_registrar;
    std::unique_ptr<sound::CMoodConfig> m_store;
    std::unique_ptr<CWorkSpace> m_ws;
    std::unique_ptr<toolkit::CHostWindow> m_window;
    std::unique_ptr<CEventHandlerEffect> m_page;
    COpenCard m_card;
    ccm_util::CManualDispatcher m_ui;
    ccm_util::CScopedDispatcher m_uiInstalled{&m_ui};
    uint32_t m_answer = 0;  // what the hotkey dialog is given; 0: cancelled

    // The page as the application builds it, over a settings file that already holds the hotkey
    // of 户外 (10001).
    void Build(Availability availability) {
        m_dir = std::make_unique<TempDir>();
        m_settings = m_dir->Path() / "LyntConfigData.db";
        QVERIFY(platform::profile::WritePrivateProfileString(config_keys::kHotKey, "10001",
                                                             std::to_string(kCtrlF1), m_settings));
        m_service = std::make_unique<CFakeHotkeys>(availability);
        m_registrar = std::make_unique<CHotkeyRegistrarAdapter>(*m_service);
        m_store = std::make_unique<sound::CMoodConfig>();
        m_store->SetHotkeyRegistrar(m_registrar.get());
        QVERIFY(m_store->Init(m_dir->Path() / sound::CMoodConfig::kFileName));
        QVERIFY(m_store->SetHotkeysEnabled(true));
        m_ws = std::make_unique<CWorkSpace>(m_settings, m_dir->Path());
        m_window = std::make_unique<toolkit::CHostWindow>(QStringLiteral("LAYOUT:XML_MAINWND"));
        m_page = std::make_unique<CEventHandlerEffect>(m_ws.get());
        m_page->SetHotkeyServices(m_store.get(), m_service.get(), m_settings);
        m_page->SetDialogRunner([this](toolkit::CHostDialog& d) {
            auto& dialog = static_cast<SInputHotKeyDlg&>(d);
            if (m_answer == 0) {
                return toolkit::IDCANCEL;
            }
            dialog.HotKeyControl()->SetHotKey(uint16_t(m_answer & 0xFFFF),
                                              uint16_t(m_answer >> 16));
            dialog.FindChildByName<QAbstractButton>(QStringLiteral("btnOK"))->click();
            return toolkit::IDOK;
        });
        m_page->Setup(*m_window);
    }

    // Opens the button's menu and closes it at once: the command comes as the window's.
    void OpenMenu(int id) {
        QTimer::singleShot(0, [] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
            }
        });
        m_page->ShowEffectMenu(id, {});
        QCOMPARE(m_page->MenuTarget(), id);
    }

    QString Title() const {
        return m_window->FindChildByName<QLabel>(QStringLiteral("txt_eff_title"))->text();
    }

private slots:
    void initTestCase() {
        toolkit::Initialize();
        widgets::RegisterWidgets();
        RegisterAppLayouts();
    }

    void cleanup() {
        if (m_ws) {
            m_ws->SetDevice(nullptr, nullptr);
        }
        m_page.reset();
        m_window.reset();
        m_ws.reset();
        m_store.reset();
        m_registrar.reset();
        m_service.reset();
        m_dir.reset();
    }

    // The stored hotkey is registered at set-up and shown on the button. Without a card its
    // press is left to others and changes nothing; with the card it is the button's click.
    void pressActsAsTheClickOnlyWithTheCard() {
        Build(Availability::kX11);
        QCOMPARE(m_service->Registered().at(10001), kCtrlF1);
        auto* outdoor = m_window->FindChildByID<QAbstractButton>(10001);
        QCOMPARE(outdoor->toolTip(), QStringLiteral("户外(Ctrl+F1)"));
        QCOMPARE(outdoor->text(), QStringLiteral("户外(.."));

        const QString before = Title();
        QVERIFY(!m_page->OnHotkey(10001));
        QVERIFY(m_service->Press(kCtrlF1));
        m_ui.Pump();
        QCOMPARE(Title(), before);
        QVERIFY(!outdoor->isChecked());

        m_ws->SetDevice(&m_card, nullptr);
        m_ws->SetConnected(true);
        QVERIFY(m_service->Press(kCtrlF1));
        m_ui.Pump();
        QVERIFY(outdoor->isChecked());
        QCOMPARE(Title(), QStringLiteral("当前音效：户外"));

        // Switched off, the key is released and a press is not the page's.
        m_store->SetHotkeysEnabled(false);
        QVERIFY(m_service->Registered().empty());
        QVERIFY(!m_page->OnHotkey(10001));
    }

    // The menu sets a hotkey and writes it; the same value again writes nothing; a key another
    // program holds or another button has is refused with the tip and the old hotkey stays.
    void settingHotkeysFromTheMenu() {
        Build(Availability::kX11);
        auto menu = m_page->BuildEffectMenu(10002);
        QVERIFY(menu && menu->HasItem(99) && !menu->HasItem(100));
        OpenMenu(10002);
        m_answer = kCtrlF2;
        QVERIFY(m_page->OnMenuCommand(99));
        QCOMPARE(m_page->StoredHotkey(10002), kCtrlF2);
        QCOMPARE(m_service->Registered().at(10002), kCtrlF2);
        QCOMPARE(m_window->FindChildByID<QAbstractButton>(10002)->toolTip(),
                 QStringLiteral("闪避(Ctrl+F2)"));
        menu = m_page->BuildEffectMenu(10002);
        QVERIFY(menu->HasItem(100) && menu->HasItem(101));

        const std::string settings = FileBytes(m_settings);
        const std::string store = FileBytes(m_store->Path());
        CTipWnd::Destroy();
        QVERIFY(m_page->OnMenuCommand(101));  // same value
        QCOMPARE(FileBytes(m_settings), settings);
        QCOMPARE(FileBytes(m_store->Path()), store);
        QVERIFY(!CTipWnd::Instance());

        m_answer = kCtrlF1;  // 户外's
        QVERIFY(m_page->OnMenuCommand(101));
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("此热键已经被占用，设置热键失败！"));
        QCOMPARE(m_page->StoredHotkey(10002), kCtrlF2);

        const uint32_t held = sound::MakeHotkey(sound::kHotkeyAlt, 0x72);
        m_service->HoldElsewhere(held);
        CTipWnd::Destroy();
        m_answer = held;
        QVERIFY(m_page->OnMenuCommand(101));
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("此热键已经被占用，设置热键失败！"));
        QCOMPARE(m_page->StoredHotkey(10002), kCtrlF2);
        QCOMPARE(m_service->Registered().at(10002), kCtrlF2);

        QVERIFY(m_page->OnMenuCommand(100));
        QCOMPARE(m_page->StoredHotkey(10002), 0u);
        QVERIFY(!m_service->Registered().count(10002));
        QCOMPARE(m_window->FindChildByID<QAbstractButton>(10002)->toolTip(),
                 QStringLiteral("闪避"));
    }

    // Where the desktop offers no global hotkeys the entry says so and names the command to bind.
    void unavailableHotkeysNameTheCommand() {
        Build(Availability::kUnavailable);
        OpenMenu(10002);
        m_answer = kCtrlF2;
        QVERIFY(m_page->OnMenuCommand(99));
        QVERIFY(CTipWnd::Instance()->Text().contains(QStringLiteral("lyntctl effect 2")));
        QCOMPARE(m_page->StoredHotkey(10002), 0u);
    }
};

QTEST_MAIN(TestEffectHotkeys)
#include "tst_effect_hotkeys.moc"
