// The sound-pad page, the recording panel, the volume popup and the rename dialog on the main
// window's layout, with a fake audio engine and a fake hotkey service; the cloud tabs against the
// cloud stand-in on a real socket.
#include <sys/stat.h>
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QWheelEvent>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "../core/TempDir.h"
#include "../sound/FakeAudioEngine.h"
#include "CloudSim.h"
#include "CloudSoundNames.h"
#include "ConfigData.h"
#include "FakeHotkeys.h"
#include "Log/Log.h"
#include "MoodConfig.h"
#include "SoundEvents.h"
#include "SoundPadText.h"
#include "app/ui/AppLayouts.h"
#include "app/ui/HotkeyRegistrarAdapter.h"
#include "ccm_util/AppMessages.h"
#include "ccm_util/Dispatcher.h"
#include "profile/Profile.h"
#include "sound/ui/DlgEditFileName.h"
#include "sound/ui/EventHandlerRecord.h"
#include "sound/ui/EventHandlerSound.h"
#include "sound/ui/SendWindow.h"
#include "sound/ui/SetVolumeDlg.h"
#include "toolkit/HostWindow.h"
#include "toolkit/Menu.h"
#include "toolkit/MessageBox.h"
#include "toolkit/SHotKeyCtrl.h"
#include "toolkit/Toolkit.h"
#include "widgets/CTipWnd.h"
#include "widgets/SInputHotKeyDlg.h"
#include "widgets/Widgets.h"

using platform::hotkeys::CFakeHotkeys;
using sound::MakeHotkey;

namespace {

const std::string kFrame("\xFF\xFB\x90\x64", 4);

// The text of the last message box AnswerNextMessageBox closed.
QString g_seenBox;

// Closes the message box the next step opens, keeping its text.
void AnswerNextMessageBox() {
    g_seenBox.clear();
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<toolkit::CMessageBox*>(QApplication::activeModalWidget())) {
            g_seenBox = box->Text();
            box->EndDialog(toolkit::IDOK);
        }
    });
}

}  // namespace

class TestSoundPage : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::shared_ptr<fake_audio::Log> m_audio;
    std::unique_ptr<CFakeHotkeys> m_service;
    std::unique_ptr<CHotkeyRegistrarAdapter> m_registrar;
    std::unique_ptr<sound::CMoodConfig> m_store;
    std::unique_ptr<toolkit::CHostWindow> m_window;
    std::unique_ptr<CEventHandlerSound> m_page;
    ccm_util::CManualDispatcher m_ui;
    ccm_util::CScopedDispatcher m_uiInstalled{&m_ui};
    std::unique_ptr<cloudsim::CCloudSim> m_sim;
    struct SendCall {
        std::u16string path;
        bool fromResource;
        int slot;
        int volume;
    };
    std::vector<SendCall> m_sends;  // what reached the send dialog
    uint32_t m_hotkeyAnswer = 0;    // the hotkey dialog's answer; 0: cancelled
    QString m_nameAnswer;           // the name dialog's answer; empty: cancelled

    std::filesystem::path Mp3(const char* name) {
        const auto path = m_dir->Path() / name;
        std::ofstream(path, std::ios::binary) << kFrame << std::string(600, '\0');
        return path;
    }

    void Build(bool hotkeysOn = true) {
        m_service = std::make_unique<CFakeHotkeys>();
        m_registrar = std::make_unique<CHotkeyRegistrarAdapter>(*m_service);
        m_store = std::make_unique<sound::CMoodConfig>();
        m_store->SetHotkeyRegistrar(m_registrar.get());
        QVERIFY(m_store->Init(m_dir->Path() / sound::CMoodConfig::kFileName));
        QVERIFY(m_store->SetHotkeysEnabled(hotkeysOn));
        m_window = std::make_unique<toolkit::CHostWindow>(QStringLiteral("LAYOUT:XML_MAINWND"));
        m_page = std::make_unique<CEventHandlerSound>(m_store.get());
        m_page->SetHotkeyServices(m_service.get(), m_dir->Path() / "LyntConfigData.db");
        m_page->SetDialogRunner([this](toolkit::CHostDialog& d) {
            if (auto* hotkey = qobject_cast<SInputHotKeyDlg*>(&d)) {
                if (m_hotkeyAnswer == 0) {
                    return toolkit::IDCANCEL;
                }
                hotkey->HotKeyControl()->SetHotKey(uint16_t(m_hotkeyAnswer & 0xFFFF),
                                                   uint16_t(m_hotkeyAnswer >> 16));
                hotkey->FindChildByName<QAbstractButton>(QStringLiteral("btnOK"))->click();
                return toolkit::IDOK;
            }
            auto* name = qobject_cast<sound::ui::CDlgEditFileName*>(&d);
            if (!name || m_nameAnswer.isEmpty()) {
                return toolkit::IDCANCEL;
            }
            name->FindChildByName<QLineEdit>(QStringLiteral("txt_input"))->setText(m_nameAnswer);
            name->FindChildByName<QAbstractButton>(QStringLiteral("btnOK"))->click();
            return name->result();
        });
        m_page->SetSendRunner(
            [this](QWidget*, const std::u16string& path, bool fromResource, int slot, int volume) {
                m_sends.push_back({path, fromResource, slot, volume});
                return 1;
            });
        if (m_sim) {
            m_page->SetCloud(m_dir->Path() / "data", m_sim->BaseUrl());
        }
        m_page->Setup(*m_window);
    }

    void StartCloud(cloudsim::SimOptions options = {}) {
        m_sim = std::make_unique<cloudsim::CCloudSim>(std::move(options));
        QVERIFY(m_sim->Start(0));
    }
    // Runs the page's event deliveries and the window's timers until done() holds.
    bool PumpUntil(const std::function<bool()>& done, int ms = 20000) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > ms) {
                return false;
            }
            m_ui.Pump();
            QTest::qWait(5);
        }
        return true;
    }
    bool FetchDone() {
        return PumpUntil([this] { return !m_page->Cloud()->IsFetching(); });
    }
    bool DownloadsDone() {
        return PumpUntil([this] { return m_page->Cloud()->DownloadsRunning() == 0; });
    }
    QTabWidget* Tabs() const { return m_window->FindChildByName<QTabWidget>("tab_sound"); }
    bool Shown(const char* name) const {
        return !m_window->FindChildByName(QString::fromLatin1(name))->isHidden();
    }
    // A right-click on a pad: its menu opens and is dismissed, as a user would before choosing.
    void RightClick(int id) {
        QTimer::singleShot(0, [] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
            }
        });
        m_page->ShowPadMenu(id, QPoint(20, 20));
        QCOMPARE(m_page->LastRightClicked(), id);
    }

    QPushButton* Pad(int id) const { return m_window->FindChildByID<QPushButton>(id); }
    // The pads' player: made with the page, so that its output is warm before the first pad.
    fake_audio::Engine* Player() const {
        return static_cast<fake_audio::Engine*>(m_page->Holder().Player());
    }
    QString Text(const char* name) const {
        return m_window->FindChildByName<QLabel>(QString::fromLatin1(name))->text();
    }
    int PadCount(const char* view) const {
        return m_window->FindChildByName<QScrollArea>(QString::fromLatin1(view))
            ->widget()
            ->findChildren<QPushButton*>()
            .size();
    }
    QString TipText() const {
        return CTipWnd::Instance() ? CTipWnd::Instance()->Text() : QString();
    }
    bool Called(const std::string& call) const {
        return std::find(m_audio->calls.begin(), m_audio->calls.end(), call) !=
               m_audio->calls.end();
    }

private slots:
    void initTestCase() {
        toolkit::Initialize();
        widgets::RegisterWidgets();
        RegisterAppLayouts();
    }
    void init() {
        m_dir = std::make_unique<TempDir>();
        m_audio = fake_audio::Install();
        CTipWnd::Destroy();
    }
    void cleanup() {
        m_page.reset();
        m_sim.reset();
        m_sends.clear();
        m_window.reset();
        m_store.reset();
        m_registrar.reset();
        m_service.reset();
        platform::audio::SetAudioEngineFactory(nullptr);
        m_dir.reset();
    }

    // A first start fills the favourites with the built-in clips, the first ten on the keypad;
    // a press of Num 0 plays the first from its resource; lyntctl's pad message plays too.
    void firstStartFavouritesAndTheirHotkeys() {
        Build();
        QCOMPARE(m_store->Favourites().size(), size_t(15));
        QCOMPARE(Pad(14000)->text(), QStringLiteral("大哄笑(Num 0)"));
        QCOMPARE(Pad(14009)->text(), QStringLiteral("尬曲(Num 9)"));
        QCOMPARE(Pad(14010)->text(), QStringLiteral("机枪"));
        QCOMPARE(m_service->Registered().at(14000), MakeHotkey(0, 0x60));

        QVERIFY(m_service->Press(MakeHotkey(0, 0x60)));
        m_ui.Pump();
        QVERIFY(Player() && Player()->running);
        QCOMPARE(Text("mood_name"), QStringLiteral("大哄笑"));
        QVERIFY(Called("select-out:1"));  // the card's output

        Player()->running = false;
        QVERIFY(m_page->OnWindowMessage(UM_SOUND_PAD, 1, 0));
        QVERIFY(Player()->running);
        QCOMPARE(Text("mood_name"), QStringLiteral("小哄笑"));
        QVERIFY(m_page->OnWindowMessage(UM_SOUND_PAD, kSoundPadStop, 0));
        QVERIFY(!Player()->running);
        QVERIFY(!m_page->OnWindowMessage(UM_SOUND_PAD + 1, 0, 0));
        QVERIFY(!m_page->PlayFavourite(99));  // beyond the list: nothing
    }

    // lyntctl pad is answered from what the page did: a favourite plays, the player stops, a
    // position beyond the list, a clip whose file went and a player that will not start each
    // say so, and the failures show the user what a click would.
    void padsOnRequestSayWhatBecameOfThem() {
        using sound::PadOutcome;
        Build();
        QCOMPARE(m_page->PlayPadNow(1), PadOutcome::Playing);
        QVERIFY(Player() && Player()->running);
        QCOMPARE(Text("mood_name"), QStringLiteral("小哄笑"));
        QCOMPARE(m_page->PlayPadNow(kSoundPadStop), PadOutcome::Stopped);
        QVERIFY(!Player()->running);
        QCOMPARE(m_page->PlayPadNow(m_store->Favourites().size()), PadOutcome::NoSuchPad);

        const auto song = Mp3("song.mp3");
        m_nameAnswer = QStringLiteral("歌");
        QVERIFY(m_page->AddLocalClipFile(song));
        const size_t last = m_store->Favourites().size() - 1;
        QVERIFY(m_store->RemoveFavourite(last));
        QVERIFY(m_store->AddFavourite(m_store->LocalClips().back()));
        QCOMPARE(m_page->PlayPadNow(last), PadOutcome::Playing);
        std::filesystem::remove(song);
        CTipWnd::Destroy();
        QCOMPARE(m_page->PlayPadNow(last), PadOutcome::ClipMissing);
        QVERIFY(!Player()->running);
        QCOMPARE(TipText(), QStringLiteral("播放失败"));

        m_audio->refuseStart = true;
        QCOMPARE(m_page->PlayPadNow(0), PadOutcome::Failed);
        QVERIFY(!Player() || !Player()->running);
    }

    // Removing every favourite, then adding a local clip, fills the favourites again; the local
    // grid of 15 built-in and 2 own clips has 18 pads in 4 rows.
    void localClipsAndTheGrid() {
        Build();
        while (!m_store->Favourites().empty()) {
            m_page->SetMenuTarget(14000);
            QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdRemoveFavourite));
        }
        m_nameAnswer = QStringLiteral("一");
        QVERIFY(m_page->AddLocalClipFile(Mp3("one.mp3")));
        QCOMPARE(m_store->Favourites().size(), size_t(15));
        m_nameAnswer = QStringLiteral("二");
        QVERIFY(m_page->AddLocalClipFile(Mp3("two.mp3")));
        QCOMPARE(PadCount("scrollview_sound_local"), 18);
        auto* local =
            m_window->FindChildByName<QScrollArea>(QStringLiteral("scrollview_sound_local"));
        QCOMPARE(local->property("rowCount").toInt(), 4);
        QCOMPARE(Pad(15016)->text(), QStringLiteral("二"));
        QCOMPARE(Pad(sound::kAddPadId)->text(), QStringLiteral("+"));
        // The "+" leads the grid, in sight without scrolling; the clips follow in their order.
        auto* grid = qobject_cast<QGridLayout*>(local->widget()->layout());
        QCOMPARE(grid->itemAtPosition(0, 0)->widget(), Pad(sound::kAddPadId));
        QCOMPARE(grid->itemAtPosition(0, 1)->widget(), Pad(15000));
        QCOMPARE(grid->itemAtPosition(3, 2)->widget(), Pad(15016));

        // An "&" in a name is shown as typed, not taken for a mnemonic mark.
        m_nameAnswer = QStringLiteral("R&B");
        QVERIFY(m_page->AddLocalClipFile(Mp3("rnb.mp3")));
        QCOMPARE(Pad(15017)->toolTip(), QStringLiteral("R&B"));
        QVERIFY(QKeySequence::mnemonic(Pad(15017)->text()).isEmpty());
        QCOMPARE(Pad(15017)->text().replace(QStringLiteral("&&"), QStringLiteral("&")),
                 QStringLiteral("R&B"));

        // A cancelled name adds nothing.
        m_nameAnswer.clear();
        QVERIFY(!m_page->AddLocalClipFile(Mp3("three.mp3")));
        QCOMPARE(m_store->LocalClips().size(), size_t(3));
    }

    // Files that do not play are refused when added; a clip whose file went away or changed
    // keeps its entry and fails to play with a tip.
    void badClipFiles() {
        Build();
        const auto empty = m_dir->Path() / "empty.mp3";
        std::ofstream(empty, std::ios::binary).flush();
        m_nameAnswer = QStringLiteral("空");
        AnswerNextMessageBox();
        QVERIFY(!m_page->AddLocalClipFile(empty));
        QVERIFY(g_seenBox.contains(QStringLiteral("empty.mp3")));
        const auto damaged = Mp3("damaged.mp3");
        m_audio->refused.insert(damaged.u16string());
        AnswerNextMessageBox();
        QVERIFY(!m_page->AddLocalClipFile(damaged));
        QVERIFY(m_store->LocalClips().empty());

        const auto song = Mp3("song.mp3");
        m_nameAnswer = QStringLiteral("歌");
        QVERIFY(m_page->AddLocalClipFile(song));
        std::filesystem::remove(song);
        QVERIFY(!m_page->ClickPad(15015));
        QCOMPARE(TipText(), QStringLiteral("播放失败"));
        QVERIFY(
            !m_window->FindChildByName<QAbstractButton>(QStringLiteral("check_mood_playAndstop"))
                 ->isChecked());

        // Written over with text while the program was away (or on a drive not mounted yet):
        // the entry and its name stay, in the list and in the file; a click says it failed.
        std::ofstream(song, std::ios::binary) << "not audio";
        m_audio->refused.insert(song.u16string());
        m_page.reset();
        m_window.reset();
        m_store.reset();
        Build();
        QCOMPARE(m_store->LocalClips().size(), size_t(1));
        QCOMPARE(PadCount("scrollview_sound_local"), 17);
        QCOMPARE(Pad(15015)->text(), QStringLiteral("歌"));
        CTipWnd::Destroy();
        QVERIFY(!m_page->ClickPad(15015));
        QCOMPARE(TipText(), QStringLiteral("播放失败"));
        sound::CMoodConfig reread;
        QVERIFY(reread.Init(m_dir->Path() / sound::CMoodConfig::kFileName));
        QCOMPARE(reread.LocalClips().size(), size_t(1));
    }

    // A hotkey an effect button has is refused; the one-click sound track's too; the same value
    // changes nothing; a new one is stored, registered and shown.
    void favouriteHotkeys() {
        const uint32_t ctrlF1 = MakeHotkey(sound::kHotkeyCtrl, 0x70);
        const uint32_t ctrlF5 = MakeHotkey(sound::kHotkeyCtrl, 0x74);
        QVERIFY(platform::profile::WritePrivateProfileString(
            u"HotKey", u"SoundTrack", std::to_string(ctrlF5), m_dir->Path() / "LyntConfigData.db"));
        Build();
        m_store->SetEffectHotkey(10001, ctrlF1);
        auto menu = m_page->BuildPadMenu(14000);
        QVERIFY(menu && menu->HasItem(1001) && menu->HasItem(1003) && menu->HasItem(1004));
        QVERIFY(!m_page->BuildPadMenu(14010)->HasItem(1004));
        QVERIFY(m_page->BuildPadMenu(15015)->HasItem(1005));
        QVERIFY(!m_page->BuildPadMenu(15000)->HasItem(1005));
        QVERIFY(!m_page->BuildPadMenu(13999));

        m_page->SetMenuTarget(14000);
        m_hotkeyAnswer = ctrlF1;
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdEditHotkey));
        QCOMPARE(TipText(), QStringLiteral("此热键已经被其他特效占用！"));
        QCOMPARE(m_store->GetFavouriteHotkey(0), MakeHotkey(0, 0x60));
        QCOMPARE(m_service->Registered().at(14000), MakeHotkey(0, 0x60));

        m_hotkeyAnswer = ctrlF5;
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdEditHotkey));
        QCOMPARE(TipText(), QStringLiteral("此热键已经被一键原声占用！"));
        QCOMPARE(m_store->GetFavouriteHotkey(0), MakeHotkey(0, 0x60));

        CTipWnd::Destroy();
        m_hotkeyAnswer = MakeHotkey(0, 0x60);  // its own
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdEditHotkey));
        QVERIFY(!CTipWnd::Instance());

        m_page->SetMenuTarget(14012);
        m_hotkeyAnswer = MakeHotkey(sound::kHotkeyShift, 'Q');
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdSetHotkey));
        QCOMPARE(Pad(14012)->text(), QStringLiteral("嗨曲(Shift+Q)"));
        QCOMPARE(m_service->Registered().at(14012), m_hotkeyAnswer);
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdDeleteHotkey));
        QCOMPARE(Pad(14012)->text(), QStringLiteral("嗨曲"));
        QVERIFY(!m_service->Registered().count(14012));

        // Adding what is there already says so.
        m_page->SetMenuTarget(15003);
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdAddFavourite));
        QCOMPARE(TipText(), QStringLiteral("收藏夹中已经存在“亲嘴”"));
    }

    // The player bar: a 0.4 s clip counts as one second; the bar follows the player, jumps to the
    // end when it stops and resets on the next tick; deleting the clip played last clears it.
    void playerBar() {
        Build();
        m_audio->lengthMs = 400;
        m_nameAnswer = QStringLiteral("短");
        QVERIFY(m_page->AddLocalClipFile(Mp3("short.mp3")));
        QVERIFY(m_page->ClickPad(15015));
        QCOMPARE(Text("txt_sound_total_time"), QStringLiteral("/00:01"));
        QCOMPARE(m_store->GetLastPlayedLength(), 1);
        QCOMPARE(platform::profile::GetPrivateProfileInt(u"LastPlayMoodTotal", u"MoodTotalTime", -1,
                                                         m_store->Path()),
                 1);
        QVERIFY(Called("volume:" + std::to_string(m_store->Volume())));
        auto* slider =
            m_window->FindChildByName<QAbstractSlider>(QStringLiteral("progress_sound_play"));
        QVERIFY(slider->isEnabled());
        QCOMPARE(slider->maximum(), 1000);

        Player()->position = {0, 250, 0, 0, 0};
        m_window->HandleControlEvent({});  // nothing
        QVERIFY(m_window->IsTimerRunning(CEventHandlerSound::kPlayerTimerId));
        QTest::qWait(CEventHandlerSound::kPlayerTickMs + 100);
        QCOMPARE(slider->value(), 250);
        Player()->position = {};
        Player()->End();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsTimerRunning(CEventHandlerSound::kPlayerTimerId),
                                 3000);
        QCOMPARE(slider->value(), 0);
        QVERIFY(!slider->isEnabled());
        QCOMPARE(Text("mood_name"), QStringLiteral("短"));

        m_page->SetMenuTarget(15015);
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdDeleteClip));
        QCOMPARE(Text("mood_name"), QString());
        QCOMPARE(Text("txt_sound_total_time"), QStringLiteral("/00:00"));
        QVERIFY(m_store->LocalClips().empty());

        // Play/stop with nothing played before asks for a clip.
        auto* play =
            m_window->FindChildByName<QAbstractButton>(QStringLiteral("check_mood_playAndstop"));
        play->setChecked(true);
        QVERIFY(m_page->OnControlEvent(
            toolkit::ControlEvent::Make(play, toolkit::EventKind::StateChanged, 1)));
        QCOMPARE(TipText(), QStringLiteral("请选择需要播放的特效"));
        QVERIFY(!play->isChecked());
    }

    // Nine categories give seven cloud tabs after the fixed three, titles keeping a "&"; a
    // click downloads the clip and plays the downloaded file, the next click plays it without
    // traffic; a failed download tells only the pad the user is at.
    void cloudTabsAndCloudPads() {
        cloudsim::SimOptions options;
        options.content.categories[1].name = "R&B";
        StartCloud(std::move(options));
        Build();
        QVERIFY(Shown("ani_fetch_cloud_sound"));
        QVERIFY(FetchDone());
        QVERIFY(!Shown("ani_fetch_cloud_sound"));
        QVERIFY(!Shown("btn_cloud_sound_retry"));
        QCOMPARE(m_store->CategoryCount(), size_t(9));
        QCOMPARE(Tabs()->count(), 10);
        QCOMPARE(Tabs()->tabText(3), QStringLiteral("搞笑"));
        QCOMPARE(Tabs()->tabText(4), QStringLiteral("R&&B"));
        for (int k = 0; k < 7; ++k) {
            const QByteArray grid = "scrollview_sound_cloud_" + QByteArray::number(k);
            QCOMPARE(PadCount(grid.constData()), 3);
        }
        QVERIFY(!m_window->FindChildByName("scrollview_sound_cloud_7"));
        QCOMPARE(Pad(24002)->text(), QStringLiteral("游戏3"));  // category 6, clip 3

        QVERIFY(m_page->OnControlEvent(
            toolkit::ControlEvent::Make(Pad(19000), toolkit::EventKind::Command, 0)));  // 201
        QVERIFY(DownloadsDone());
        const auto file = sound::CloudSoundFolder(m_dir->Path() / "data") / "201.mp3";
        QVERIFY(Called("open:" + file.string()));
        QVERIFY(Player() && Player()->running);
        QCOMPARE(Text("mood_name"), QStringLiteral("掌声1"));
        QCOMPARE(PadCount("scrollview_sound_download"), 1);
        m_audio->calls.clear();
        QVERIFY(m_page->ClickPad(19000));
        QVERIFY(Called("open:" + file.string()));
        QCOMPARE(m_sim->Requests("/files/"), size_t(1));

        // A rebuilt list keeps seven tabs, not fourteen.
        m_page->BuildCloudTabs();
        QCOMPARE(Tabs()->count(), 10);

        m_sim->SetFault("sound-file", cloudsim::Fault::kNotFound);
        CTipWnd::Destroy();
        m_page->ClickPad(18000);
        QVERIFY(DownloadsDone());
        QCOMPARE(TipText(), QStringLiteral("下载文件失败"));
        CTipWnd::Destroy();
        m_page->ClickPad(18001);
        m_page->ClickPad(15000);  // the user moved on
        QVERIFY(DownloadsDone());
        QVERIFY(!CTipWnd::Instance());
    }

    // A fetch that fails shows the retry link; the link starts a new fetch through the window's
    // timer, which fills the tabs.
    void cloudRetry() {
        cloudsim::SimOptions options;
        options.faults["categories"] = cloudsim::Fault::kNotFound;
        StartCloud(std::move(options));
        Build();
        QVERIFY(FetchDone());
        QVERIFY(Shown("btn_cloud_sound_retry"));
        QVERIFY(!Shown("ani_fetch_cloud_sound"));
        QCOMPARE(Tabs()->count(), 3);

        m_sim->SetFault("categories", cloudsim::Fault::kNone);
        auto* link = m_window->FindChildByName<QPushButton>("btn_cloud_sound_retry");
        QVERIFY(m_page->OnControlEvent(
            toolkit::ControlEvent::Make(link, toolkit::EventKind::Command, 0)));
        QVERIFY(m_window->IsTimerRunning(CEventHandlerSound::kCloudRetryTimerId));
        QVERIFY(PumpUntil([this] { return Tabs()->count() == 10; }));
        QVERIFY(!m_window->IsTimerRunning(CEventHandlerSound::kCloudRetryTimerId));
        QVERIFY(!Shown("btn_cloud_sound_retry"));
        QVERIFY(FetchDone());
        QVERIFY(!Shown("ani_fetch_cloud_sound"));
    }

    // "添加到收藏夹" on a cloud pad downloads it first; success is told only when that pad is still
    // the one right-clicked; a second time says it is there already.
    void cloudFavourites() {
        StartCloud();
        Build();
        QVERIFY(FetchDone());
        const size_t before = m_store->Favourites().size();
        RightClick(18000);
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdAddFavourite));
        QVERIFY(DownloadsDone());
        QCOMPARE(TipText(), QStringLiteral("成功添加到收藏夹！"));
        QCOMPARE(m_store->Favourites().size(), before + 1);
        QCOMPARE(Pad(sound::kFavouritePadFirst + int(before))->text(), QStringLiteral("搞笑1"));

        CTipWnd::Destroy();
        RightClick(18001);
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdAddFavourite));
        RightClick(18002);  // before the download is in
        QVERIFY(DownloadsDone());
        QCOMPARE(m_store->Favourites().size(), before + 2);
        QVERIFY(!CTipWnd::Instance());

        RightClick(18000);
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdAddFavourite));
        QCOMPARE(TipText(), QStringLiteral("收藏夹中已经存在“搞笑1”"));
        QCOMPARE(m_sim->Requests("/files/"), size_t(2));
    }

    // Every pad's menu offers the five slots; a built-in clip goes from its resource, a file
    // from its path, a cloud clip once it is downloaded and only while its pad is the one
    // right-clicked; the dialog gets the slot chosen and the pads' volume.
    void sendToCard() {
        StartCloud();
        Build();
        QVERIFY(FetchDone());
        for (int id : {14000, 15000, 18000}) {
            auto menu = m_page->BuildPadMenu(id);
            QAction* first = menu->FindItem(CEventHandlerSound::kCmdSendToSlot);
            QVERIFY(first && first->parent() != menu->Native());
            QCOMPARE(static_cast<QMenu*>(first->parent())->title(), QStringLiteral("发送到声卡"));
            QCOMPARE(first->text(), QStringLiteral("槽位1（15秒）"));
            QVERIFY(menu->HasItem(CEventHandlerSound::kCmdSendToSlot + 4));
            QVERIFY(!menu->HasItem(CEventHandlerSound::kCmdSendToSlot + 5));
        }
        // Without a card the slots are offered greyed.
        bool ready = false;
        m_page->SetCardReady([&ready] { return ready; });
        auto greyed = m_page->BuildPadMenu(15001);
        QAction* slot1 = greyed->FindItem(CEventHandlerSound::kCmdSendToSlot);
        QVERIFY(!static_cast<QMenu*>(slot1->parent())->menuAction()->isEnabled());
        ready = true;
        auto offered = m_page->BuildPadMenu(15001);
        slot1 = offered->FindItem(CEventHandlerSound::kCmdSendToSlot);
        QVERIFY(static_cast<QMenu*>(slot1->parent())->menuAction()->isEnabled());
        m_store->SetVolume(40);
        RightClick(15001);
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdSendToSlot + 2));
        QVERIFY(m_sends.empty());  // not from inside the menu's command
        m_ui.Pump();
        QCOMPARE(m_sends.size(), size_t(1));
        QCOMPARE(m_sends[0].path, sound::ClipPath(sound::BuiltinClipItem(1)));
        QVERIFY(m_sends[0].fromResource);
        QCOMPARE(m_sends[0].slot, 2);
        QCOMPARE(m_sends[0].volume, 40);
        QCOMPARE(m_page->ClipSlot(), 2);
        QCOMPARE(TipText(), QStringLiteral("已发送到声卡的槽位3"));  // the card took it, there
        // The name the store keeps is what the dialog's reader finds among the resources.
        std::vector<uint8_t> bytes;
        QVERIFY(sound::ui::ReadClipResource(m_sends[0].path, bytes));

        m_nameAnswer = QStringLiteral("我的");
        const auto mine = Mp3("mine.mp3");
        QVERIFY(m_page->AddLocalClipFile(mine));
        RightClick(15015);
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdSendToSlot + 4));
        m_ui.Pump();
        QCOMPARE(m_sends.size(), size_t(2));
        QCOMPARE(std::filesystem::path(m_sends[1].path), std::filesystem::absolute(mine));
        QVERIFY(!m_sends[1].fromResource);

        RightClick(19002);
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdSendToSlot + 1));
        QVERIFY(DownloadsDone());
        m_ui.Pump();
        QCOMPARE(m_sends.size(), size_t(3));
        QCOMPARE(std::filesystem::path(m_sends[2].path),
                 sound::CloudSoundFolder(m_dir->Path() / "data") / "203.mp3");
        QCOMPARE(m_sends[2].slot, 1);

        RightClick(20000);
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdSendToSlot));
        RightClick(15000);  // the user moved on before the download was in
        QVERIFY(DownloadsDone());
        m_ui.Pump();
        QCOMPARE(m_sends.size(), size_t(3));
    }

    // The page goes while a download trickles in and a new list fetch waits for its answer:
    // both transfers are ended at once (not by their time-outs) and no partial file is left.
    void closingDuringCloudTraffic() {
        cloudsim::SimOptions options;
        options.faults["sound-file"] = cloudsim::Fault::kSlowFile;
        options.slowFileMs = 20000;
        StartCloud(std::move(options));
        Build();
        QVERIFY(FetchDone());
        vlog::CLogCapture log;
        m_page->ClickPad(18000);
        m_sim->SetFault("categories", cloudsim::Fault::kSlow);
        QVERIFY(m_page->StartCloudFetch());
        QVERIFY(PumpUntil([this] {
            return m_sim->Requests("/files/") == 1 &&
                   m_sim->Requests("/api/live/getSpecialEffectCategory") == 2;
        }));
        m_page.reset();
        QVERIFY(
            !std::filesystem::exists(sound::CloudSoundFolder(m_dir->Path() / "data") / "101.mp3"));
        auto logged = [&log](const char* part) {
            for (const std::string& m : log.Messages()) {
                if (m.find(part) != std::string::npos) {
                    return true;
                }
            }
            return false;
        };
        QVERIFY(logged("easy_perform return:42"));           // the download, aborted
        QVERIFY(logged("easy_perform return CURLcode:42"));  // the list, aborted
        m_ui.Pump();                                         // the workers' late words find nobody
    }

    // Renaming a user clip cuts the proposal as the dialog does and shows the new name.
    void renameDialog() {
        const struct {
            const char16_t* proposed;
            const char16_t* shown;
        } rows[] = {{u"Artist-Song", u"Artist"},
                    {u"-Intro", u"-Intro"},
                    {u"0123456789", u"0123456"},
                    {u"AB-CDEFGHI", u"AB"}};
        for (const auto& row : rows) {
            sound::ui::CDlgEditFileName dialog(QString::fromStdU16String(row.proposed));
            QCOMPARE(dialog.FindChildByName<QLineEdit>(QStringLiteral("txt_input"))->text(),
                     QString::fromStdU16String(row.shown));
        }
        sound::ui::CDlgEditFileName dialog(QStringLiteral("x"));
        dialog.FindChildByName<QLineEdit>(QStringLiteral("txt_input"))
            ->setText(QStringLiteral(" \t "));
        dialog.show();
        AnswerNextMessageBox();
        dialog.FindChildByName<QAbstractButton>(QStringLiteral("btnOK"))->click();
        QVERIFY(dialog.isVisible());  // stays open
        QCOMPARE(g_seenBox, QStringLiteral("特效名称不能为空！"));
        QCOMPARE(dialog.Name(), QString());
        dialog.FindChildByName<QLineEdit>(QStringLiteral("txt_input"))
            ->setText(QStringLiteral(" 好 "));
        dialog.FindChildByName<QAbstractButton>(QStringLiteral("btnOK"))->click();
        QCOMPARE(dialog.Name(), QStringLiteral("好"));
        QCOMPARE(dialog.result(), toolkit::IDOK);

        Build();
        m_nameAnswer = QStringLiteral("旧");
        QVERIFY(m_page->AddLocalClipFile(Mp3("Artist-Song.mp3")));
        m_page->SetMenuTarget(15015);
        m_nameAnswer = QStringLiteral("新名字");
        QVERIFY(m_page->OnMenuCommand(CEventHandlerSound::kCmdRenameClip));
        QCOMPARE(Pad(15015)->text(), QStringLiteral("新名字"));
        QCOMPARE(sound::ClipName(m_store->LocalClips()[0]), u"新名字");
    }

    // The wheel steps the volume by one up to the limit, one event per step; a press outside
    // closes the popup; the page stores the volume and gives it to its player.
    void volumePopup() {
        Build();
        std::vector<int> events;
        auto sub = ccm_util::CEventSubscription::Of<sound::EventVolumeChange>(
            [&events](const sound::EventVolumeChange& e) { events.push_back(e.volume); });
        auto* popup = sound::ui::CSetVolumeDlg::Show(QPoint(200, 400), 95, nullptr);
        QVERIFY(popup);
        QVERIFY(popup->isVisible());  // else the closing check below would prove nothing
        QCOMPARE(popup->geometry().bottom() + 1, 400);
        for (int i = 0; i < 10; ++i) {
            QWheelEvent wheel(QPointF(10, 10), popup->mapToGlobal(QPointF(10, 10)), {}, {0, 120},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(popup, &wheel);
        }
        QCOMPARE(events, (std::vector<int>{96, 97, 98, 99, 100}));
        QCOMPARE(m_store->Volume(), 100);
        QCOMPARE(platform::profile::GetPrivateProfileInt(u"Config", u"Volume", -1, m_store->Path()),
                 100);

        QPointer<sound::ui::CSetVolumeDlg> alive(popup);
        QVERIFY(alive->isVisible());
        QTest::mousePress(m_window.get(), Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_VERIFY(!alive || !alive->isVisible());
    }

    // The recording panel: a recording starts on the card's input and ends with the device's own
    // words when the device stops it; save is refused while recording; sleep stops it.
    void recordingPanel() {
        Build();
        const auto file = m_dir->Path() / "tmp_record.mp3";
        CEventHandlerRecord panel(file, [] { return false; });
        QString saveTo = QString::fromStdString((m_dir->Path() / "copy.mp3").string());
        panel.SetSaveChooser([&saveTo](QWidget*) { return saveTo; });
        panel.Setup(*m_window);
        auto* playback =
            m_window->FindChildByName<QAbstractButton>(QStringLiteral("btn_record_playback"));
        QVERIFY(!playback->isEnabled());

        panel.OnRecordButton();
        QCOMPARE(panel.CurrentState(), CEventHandlerRecord::State::kRecording);
        QVERIFY(Called("record:tmp_record.mp3"));
        QVERIFY(!playback->isEnabled());
        panel.OnSave();
        QCOMPARE(TipText(), QStringLiteral("录音正在进行中，请先停止录音！"));

        // The device refused the format part way: the recording ends with its words.
        std::ofstream(file, std::ios::binary) << kFrame;
        m_audio->last->Fail(u"设备不支持此格式");
        panel.OnRecordTimer();
        QCOMPARE(panel.CurrentState(), CEventHandlerRecord::State::kIdle);
        QCOMPARE(TipText(), QStringLiteral("设备不支持此格式"));
        QVERIFY(playback->isEnabled());
        // The length shown is the completed file's, as the engine reports it at the end.
        QCOMPARE(Text("txt_record_time"), QStringLiteral("00:00:03"));

        panel.OnSave();
        QCOMPARE(TipText(), QStringLiteral("录音保存成功！"));
        QVERIFY(std::filesystem::exists(m_dir->Path() / "copy.mp3"));
        saveTo = QString::fromStdString((m_dir->Path() / "no" / "such" / "x.mp3").string());
        panel.OnSave();
        QCOMPARE(TipText(), QStringLiteral("保存失败，请尝试保存到其他路径！"));
        // A name typed without ".mp3" gets it, and the copy has the user's usual mode (it was
        // saved as typed, with the working copy's 0600).
        const mode_t mask = ::umask(022);
        saveTo = QString::fromStdString((m_dir->Path() / "take").string());
        panel.OnSave();
        ::umask(mask);
        QCOMPARE(TipText(), QStringLiteral("录音保存成功！"));
        struct stat saved {};
        QCOMPARE(::stat((m_dir->Path() / "take.mp3").c_str(), &saved), 0);
        QCOMPARE(saved.st_mode & 0777, 0644u);
        QVERIFY(!std::filesystem::exists(m_dir->Path() / "take"));

        panel.OnPlaybackButton();
        QCOMPARE(panel.CurrentState(), CEventHandlerRecord::State::kPlaying);
        m_audio->last->End();
        m_ui.Pump();
        QCOMPARE(panel.CurrentState(), CEventHandlerRecord::State::kIdle);

        // Pressed twice: the new file's length, never a count from before its end.
        m_audio->lengthMs = 7400;
        panel.OnRecordButton();
        QCOMPARE(panel.CurrentState(), CEventHandlerRecord::State::kRecording);
        panel.OnRecordButton();
        QCOMPARE(panel.CurrentState(), CEventHandlerRecord::State::kIdle);
        QCOMPARE(Text("txt_record_time"), QStringLiteral("00:00:07"));

        panel.OnRecordButton();
        QCOMPARE(panel.CurrentState(), CEventHandlerRecord::State::kRecording);
        QVERIFY(!panel.OnWindowMessage(CEventHandlerRecord::kMsgPowerBroadcast,
                                       CEventHandlerRecord::kPowerSuspend, 0));
        QCOMPARE(panel.CurrentState(), CEventHandlerRecord::State::kIdle);
        QVERIFY(!panel.Holder().Recorder());

        // A capture device that refuses to start: idle with its words.
        m_audio->refuseRecordStart = true;
        panel.OnRecordButton();
        QCOMPARE(panel.CurrentState(), CEventHandlerRecord::State::kIdle);
        QCOMPARE(TipText(), QStringLiteral("设备不支持此格式"));
    }
};

QTEST_MAIN(TestSoundPage)
#include "tst_sound_page.moc"
