// The effects page on the real main-window layout and a workspace without a card (or with one
// that is open and answers nothing): the mixer's controls show the workspace's values and send
// the user's edits back, the effect buttons follow the current effect, the menus, presets,
// meters and effect-file progress.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QMenu>
#include <QTest>

#include "../core/TempDir.h"
#include "../effects/OpenCard.h"
#include "CardWorker.h"
#include "QVAudioProtocol.h"
#include "profile/Profile.h"
#include "toolkit/QtDispatcher.h"
#include "EffectStore.h"
#include "ModelEvents.h"
#include "MoodConfig.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "ConnectionEvents.h"
#include "app/ui/AppLayouts.h"
#include "ccm_util/AppMessages.h"
#include "effects/ui/DlgEQ.h"
#include "effects/ui/EventHandlerEffect.h"
#include "toolkit/HostWindow.h"
#include "toolkit/Menu.h"
#include "toolkit/Toolkit.h"
#include "widgets/CTipWnd.h"
#include "widgets/QvProgressEX.h"
#include "widgets/QvProgressRow.h"
#include "widgets/QvRotaryKnob.h"
#include "widgets/Widgets.h"

namespace {
// A level report as the card sends it (count at byte 4, then 16-bit little-endian levels),
// handed to the panel as the card's receive thread would.
void FireLevelReport(std::initializer_list<int> levels) {
    card::Frame frame{};
    frame[4] = static_cast<uint8_t>(levels.size());
    size_t at = 5;
    for (int v : levels) {
        frame[at++] = static_cast<uint8_t>(v & 0xFF);
        frame[at++] = static_cast<uint8_t>(v >> 8);
    }
    ccm_util::EventBus::Instance().Fire(EventVolumeRecvData(frame));
}
}  // namespace

// As the main window does: its page gets the window's control events first.
class CPageHost : public toolkit::CHostWindow {
public:
    CPageHost() : toolkit::CHostWindow(QStringLiteral("LAYOUT:XML_MAINWND")) {}
    toolkit::IPageController* page = nullptr;

protected:
    bool OnControlEvent(const toolkit::ControlEvent& e) override {
        return (page && page->OnControlEvent(e)) || toolkit::CHostWindow::OnControlEvent(e);
    }
};

class TestEffectsPage : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<CWorkSpace> m_ws;
    std::unique_ptr<CPageHost> m_window;
    std::unique_ptr<CEventHandlerEffect> m_page;

    template <typename T = QWidget>
    T* Named(const QString& name) const {
        return m_window->FindChildByName<T>(name);
    }

    // The parameter a knob stands for, found by its tooltip among the descriptors' names, so the
    // check does not repeat the page's own table.
    int ParamOfKnob(const QvRotaryKnob* knob) const {
        for (const auto& d : m_ws->Descriptors()) {
            if (QString::fromStdU16String(std::u16string(d.name)) == knob->toolTip()) {
                return d.id;
            }
        }
        return -1;
    }

    static QString FocusName() {
        QWidget* focus = QApplication::focusWidget();
        return focus ? focus->objectName() : QStringLiteral("(none)");
    }

    std::vector<int> Params() const {
        std::vector<int> all;
        for (int id = 0; id < model::kParamCount; ++id) {
            all.push_back(m_ws->GetParam(id));
        }
        return all;
    }

    // The "保存到设备" submenu of an effect menu, null when it has none.
    static QMenu* SaveToDevice(const toolkit::CMenu& menu) {
        for (QAction* a : menu.Native()->actions()) {
            if (a->menu() && a->text() == QStringLiteral("保存到设备")) {
                return a->menu();
            }
        }
        return nullptr;
    }
    static bool Holds(const QMenu* menu, int command) {
        for (QAction* a : menu->actions()) {
            if (a->property("menuId").toInt() == command) {
                return true;
            }
        }
        return false;
    }

    QList<QvRotaryKnob*> Knobs() const {
        return Named(QStringLiteral("param_content"))->findChildren<QvRotaryKnob*>();
    }

private slots:
    void initTestCase() {
        toolkit::Initialize();
        widgets::RegisterWidgets();
        RegisterAppLayouts();
    }

    void init() {
        m_dir = std::make_unique<TempDir>();
        m_ws = std::make_unique<CWorkSpace>(m_dir->Path() / "LyntConfigData.db", m_dir->Path());
        m_window = std::make_unique<CPageHost>();
        m_page = std::make_unique<CEventHandlerEffect>(m_ws.get());
        m_window->page = m_page.get();
        m_page->Setup(*m_window);
    }

    void cleanup() {
        m_window->page = nullptr;
        m_page.reset();
        QVERIFY(m_ws->ActiveBinder() == nullptr);
        m_window.reset();
        m_ws.reset();
        m_dir.reset();
    }

    // Each knob shows its own parameter's level in its knob and value box, and its mute bit in
    // its switch; the noise knob, the mix check box and the remote switch follow parameters 4
    // and 5.
    void workspaceValuesShowOnTheMixer() {
        const QList<QvRotaryKnob*> knobs = Knobs();
        QCOMPARE(knobs.size(), 10);
        for (QvRotaryKnob* knob : knobs) {
            const int param = ParamOfKnob(knob);
            QVERIFY2(param >= 0, qPrintable(knob->objectName()));
            // Distinct levels, odd parameters muted.
            m_ws->SetParam(param, 10 + param + (param % 2 ? 0x80 : 0));
        }
        m_ws->SetParam(5, 0x11);  // mix on, phone charging on
        m_ws->RefreshControls();
        for (QvRotaryKnob* knob : knobs) {
            const int param = ParamOfKnob(knob);
            const QString strip = knob->objectName().mid(5);  // knob_X, edit_X, btn_mute_X
            QCOMPARE(knob->value(), 10 + param);
            auto* edit = Named<QLineEdit>(QStringLiteral("edit_") + strip);
            QVERIFY2(edit, qPrintable(strip));
            QCOMPARE(edit->text(), QString::number(10 + param));
            if (auto* mute = Named<QAbstractButton>(QStringLiteral("btn_mute_") + strip)) {
                QCOMPARE(mute->isChecked(), param % 2 == 1);
            } else {
                QCOMPARE(strip, QStringLiteral("noise"));
            }
        }
        QVERIFY(Named<QAbstractButton>(QStringLiteral("chk_pc_mix"))->isChecked());
        QVERIFY(Named<QAbstractButton>(QStringLiteral("chk_remote"))->isChecked());
    }

    // The user's knob turn reaches the workspace and clears the mute; the mute switch then sets
    // the bit over the level; the remote switch changes its bit of parameter 5 only.
    void userEditsReachTheWorkspace() {
        m_ws->SetParam(1, 0x80 | 40);
        m_ws->RefreshControls();
        auto* monitor = Named<QvRotaryKnob>(QStringLiteral("knob_monitor"));
        auto* mute = Named<QAbstractButton>(QStringLiteral("btn_mute_monitor"));
        QVERIFY(mute->isChecked());
        // Pressed straight above its centre, the knob stands at half its travel.
        QTest::mousePress(monitor, Qt::LeftButton, {}, QPoint(monitor->width() / 2, 4));
        QTest::mouseRelease(monitor, Qt::LeftButton, {}, QPoint(monitor->width() / 2, 4));
        QCOMPARE(m_ws->GetParam(1), 50);
        QVERIFY(!mute->isChecked());
        QCOMPARE(Named<QLineEdit>(QStringLiteral("edit_monitor"))->text(), QStringLiteral("50"));
        mute->click();
        QCOMPARE(m_ws->GetParam(1), 0x80 | 50);

        COpenCard card;  // the switches of parameter 5 act only with a card
        m_ws->SetDevice(&card, nullptr);
        m_ws->SetConnected(true);
        ccm_util::EventBus::Instance().Fire(EventDeviceChanged());
        m_ws->SetParam(5, 0x01);
        m_ws->RefreshControls();
        Named<QAbstractButton>(QStringLiteral("chk_remote"))->click();
        QCOMPARE(m_ws->GetParam(5), 0x11);
        m_ws->SetDevice(nullptr, nullptr);
    }

    // A dialog's binder takes over the workspace; once it is gone the page shows what changed
    // meanwhile.
    void restoredBindingShowsChangesMadeUnderADialog() {
        {
            QWidget dialog;
            CWorkSpaceBinder dialogBinder;
            dialogBinder.Attach(m_ws.get(), &dialog);
            QCOMPARE(m_ws->ActiveBinder(), static_cast<IParamControlBinder*>(&dialogBinder));
            m_ws->SetParam(4, 77);
        }
        m_page->RestoreBinding();
        QCOMPARE(m_ws->ActiveBinder(), static_cast<IParamControlBinder*>(&m_page->Binder()));
        QCOMPARE(Named<QvRotaryKnob>(QStringLiteral("knob_noise"))->value(), 77);
    }

    // A device effect button applies that effect without a card too, and the page shows it: the
    // button checked alone, the title, the reverb cover of an effect without reverb.
    void effectButtonsShowTheCurrentEffect() {
        auto* outdoor = m_window->FindChildByID<QAbstractButton>(10001);
        auto* plain = m_window->FindChildByID<QAbstractButton>(10000);
        outdoor->click();
        QVERIFY(outdoor->isChecked());
        QVERIFY(!plain->isChecked());
        QCOMPARE(Named<QLabel>(QStringLiteral("txt_eff_title"))->text(),
                 QStringLiteral("当前音效：户外"));
        plain->click();
        QVERIFY(plain->isChecked());
        QVERIFY(!outdoor->isChecked());
        // 原声 is card effect 4: no reverb to edit.
        QVERIFY(!Named(QStringLiteral("forbid_reverb_param"))->isHidden());
        QVERIFY(Named(QStringLiteral("forbid_not_commom_param"))->isHidden());

        // The card's effect numbers repeat every 16: 18 covers the page as 2 (KTV) does.
        m_ws->SetParam(6, 18);
        m_page->RefreshEffectView();
        QVERIFY(!Named(QStringLiteral("forbid_reverb_param"))->isHidden());
        QVERIFY(Named(QStringLiteral("forbid_not_commom_param"))->isHidden());
        QVERIFY(!Named(QStringLiteral("save_effect_btn"))->isHidden());
    }

    // Device effects never offer the remote-control slots; an unsaved My Effect shows no menu, a
    // saved one offers both slots. Captions past 4 characters are cut, the tooltip is whole.
    void effectMenusAndCaptions() {
        // With hotkeys offered every button has a menu: the device effects' holds the hotkey
        // entry and no "保存到设备".
        sound::CMoodConfig store;
        QVERIFY(store.Init(m_dir->Path() / sound::CMoodConfig::kFileName));
        m_page->SetHotkeyServices(&store, nullptr, m_dir->Path() / "LyntConfigData.db");
        for (int id = 10000; id < 10007; ++id) {
            const auto menu = m_page->BuildEffectMenu(id);
            QVERIFY2(menu, qPrintable(QString::number(id)));
            QVERIFY(menu->HasItem(99));
            QVERIFY(!SaveToDevice(*menu));
            QVERIFY(!menu->HasItem(201) && !menu->HasItem(202));
        }
        // An unsaved My Effect has no menu at all.
        QVERIFY(!m_page->BuildEffectMenu(10008));
        QVERIFY(m_ws->SaveMyCustomEffect(1, u"我的演唱会"));
        m_page->RefreshButtonCaptions();
        auto* mine = m_window->FindChildByID<QAbstractButton>(10008);
        QCOMPARE(mine->text(), QStringLiteral("我的演.."));
        QCOMPARE(mine->toolTip(), QStringLiteral("我的演唱会"));
        const auto menu = m_page->BuildEffectMenu(10008);
        QVERIFY(menu);
        QMenu* slotMenu = SaveToDevice(*menu);
        QVERIFY(slotMenu);
        QVERIFY(Holds(slotMenu, 201) && Holds(slotMenu, 202));
        QVERIFY(menu->HasItem(99));
        m_page->SetHotkeyServices(nullptr, nullptr, {});
        // Without hotkeys a saved My Effect still offers its slots.
        const auto plain = m_page->BuildEffectMenu(10008);
        QVERIFY(plain && SaveToDevice(*plain) && !plain->HasItem(99));
        // Without a card the slot is not written.
        m_page->ShowEffectMenu(10009, {});  // unsaved: shows nothing and returns at once
        QCOMPARE(m_page->MenuTarget(), 10009);
        QVERIFY(m_page->OnMenuCommand(201));
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("保存到设备失败"));
        QCOMPARE(m_page->MenuTarget(), -1);
    }

    // The meters run on the card's scale, 0..30 (a real card's level frames): 0 is empty, 15
    // half, 30 full; a report of 9 levels sets the seven meters there are; lower levels are
    // reached by falling, and the fall's timer stops at rest. A lost card empties the meters.
    void levelReportsAndFall() {
        auto meter = [this](int i) { return m_window->FindChildByID<QvProgressEX>(2000 + i); };
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(meter(i)->maximum(), 30);
        }
        // Reports closer together than a frame show with the next frame.
        FireLevelReport({0, 15, 30, 1, 2, 3, 4, 5, 6});
        QTRY_COMPARE(meter(6)->value(), 4);
        QCOMPARE(meter(0)->value(), 0);
        QCOMPARE(meter(1)->value(), 15);
        QCOMPARE(meter(2)->value(), 30);
        for (int i = 3; i < 7; ++i) {
            QCOMPARE(meter(i)->value(), i - 2);
        }
        // A level past the top shows full.
        FireLevelReport({1000, 29, 30});
        QTRY_COMPARE(meter(0)->value(), 30);
        FireLevelReport({0, 29, 30});
        QVERIFY(m_page->Meters().IsFalling());
        int last = meter(0)->value();
        QCOMPARE(last, 30);
        int ticks = 0;
        while (m_page->Meters().IsFalling() && ticks < 100) {
            m_page->Meters().Tick();
            QVERIFY(meter(0)->value() < last || meter(0)->value() == 0);
            last = meter(0)->value();
            ++ticks;
        }
        QCOMPARE(meter(0)->value(), 0);
        QVERIFY(ticks > 5);  // a fall, not a drop
        QCOMPARE(meter(2)->value(), 30);
        ccm_util::EventBus::Instance().Fire(EventDeviceChanged());
        QCOMPARE(meter(2)->value(), 0);
    }

    // Reports faster than the screen's frames cost one repaint per frame, and a repaint covers
    // only the strip of the meter that changed. The seven meters are painted together by the row
    // that lies over them.
    void levelReportsShareFramesAndRepaintWhatChanged() {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        auto* meter = m_window->FindChildByID<QvProgressEX>(2000);
        QVERIFY(meter);
        auto* row = meter->parentWidget()->findChild<QvProgressRow*>();
        QVERIFY(row);
        auto report = [](int level) {
            card::Frame frame{};
            frame[4] = 1;
            frame[5] = static_cast<uint8_t>(level);
            ccm_util::EventBus::Instance().Fire(EventVolumeRecvData(frame));
        };
        struct Paints : QObject {
            int count = 0;
            QRegion region;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) {
                    ++count;
                    region += static_cast<QPaintEvent*>(e)->region();
                }
                return false;
            }
        } paints;
        row->installEventFilter(&paints);
        report(10);
        QTRY_COMPARE(meter->value(), 10);
        QTest::qWait(100);
        paints.count = 0;
        paints.region = QRegion();
        // Twenty reports, each handled (and anything due painted) before the next: at most one
        // paint per frame of the time they took, however fast they came.
        QElapsedTimer clock;
        clock.start();
        for (int level = 11; level <= 30; ++level) {
            report(level);
            QCoreApplication::processEvents();
        }
        const qint64 took = clock.elapsed();
        QTRY_COMPARE(meter->value(), 30);
        QTest::qWait(50);
        const qint64 frames = took / effects::ui::CPageMeters::kFrameMs + 2;
        QVERIFY2(paints.count <= frames, qPrintable(QStringLiteral("%1 paints in %2 ms")
                                                       .arg(paints.count)
                                                       .arg(took)));
        // From empty to half: half the meter is repainted, not all of it.
        m_page->Meters().DropAll();
        QTest::qWait(30);
        paints.count = 0;
        paints.region = QRegion();
        report(15);
        QTRY_VERIFY(paints.count > 0);
        const QRect painted = paints.region.boundingRect();
        QVERIFY2(painted.width() < meter->width() / 2 + 4,
                 qPrintable(QStringLiteral("%1 of %2").arg(painted.width()).arg(meter->width())));
        row->removeEventFilter(&paints);
    }

    // What the window shows (its backing store, painted strip by strip) after a jump up and a
    // fall back down: each bar ends where its level puts it, nothing of the higher level is
    // left behind, and the picture is the one a full repaint of the meter gives.
    void metersShowTheirLevelsOnScreenAfterAFall() {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        auto meter = [this](int i) { return m_window->FindChildByID<QvProgressEX>(2000 + i); };
        FireLevelReport({30, 30, 30, 30, 30, 30, 30});
        QTRY_COMPARE(meter(6)->value(), 30);
        const std::array<int, 7> levels = {6, 0, 15, 29, 1, 24, 10};
        FireLevelReport({6, 0, 15, 29, 1, 24, 10});
        for (int ticks = 0; m_page->Meters().IsFalling() && ticks < 100; ++ticks) {
            m_page->Meters().Tick();
        }
        QCOMPARE(meter(0)->value(), 6);
        QCoreApplication::processEvents();
        const QImage screen = m_window->screen()
                                  ->grabWindow(m_window->winId())
                                  .toImage()
                                  .convertToFormat(QImage::Format_RGB32);
        auto shownOf = [&](QvProgressEX* m) {
            return screen.copy(QRect(m->mapTo(m_window.get(), QPoint(0, 0)), m->size()));
        };
        // The unlit colours (the unlit skin, the segment gaps) are those of the empty meter.
        QSet<QRgb> unlit;
        const QImage empty = shownOf(meter(1));
        for (int x = 0; x < empty.width(); ++x) {
            unlit.insert(empty.pixel(x, empty.height() / 2));
        }
        for (int i = 0; i < 7; ++i) {
            QvProgressEX* m = meter(i);
            const QImage shown = shownOf(m);
            // The lit part: up to the last column of the middle row that is not unlit.
            int lit = 0;
            for (int x = 0; x < shown.width(); ++x) {
                if (!unlit.contains(shown.pixel(x, shown.height() / 2))) {
                    lit = x + 1;
                }
            }
            const double expected = m->width() * levels[static_cast<size_t>(i)] / 30.0;
            QVERIFY2(
                std::abs(lit - expected) <= 1.5,
                qPrintable(QStringLiteral("meter %1: %2 lit columns for level %3 (%4 expected)")
                               .arg(i)
                               .arg(lit)
                               .arg(levels[static_cast<size_t>(i)])
                               .arg(expected)));
            QCOMPARE(shown, m->grab().toImage().convertToFormat(QImage::Format_RGB32));
        }
    }

    // At start no value box or knob has the keyboard: Num 3 pressed for a pad (hotkeys off)
    // used to type "453" into the noise box, which was sent as 100 once the focus moved. Nor
    // after a dialog closed over the window.
    void strayKeysAtStartChangeNoValue() {
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        auto noValueControlHasTheFocus = [] {
            QWidget* focus = QApplication::focusWidget();
            return !qobject_cast<QLineEdit*>(focus) && !qobject_cast<QAbstractSlider*>(focus);
        };
        QVERIFY2(noValueControlHasTheFocus(), qPrintable(FocusName()));
        const std::vector<int> before = Params();
        QWidget* keys = QApplication::focusWidget() ? QApplication::focusWidget() : m_window.get();
        QTest::keyClicks(keys, "3");
        QTest::keyClick(keys, Qt::Key_3, Qt::KeypadModifier);
        QTest::keyClick(keys, Qt::Key_Backspace);
        QTest::keyClick(keys, Qt::Key_Home);
        QTest::keyClick(keys, Qt::Key_Return);
        QCOMPARE(Params(), before);

        {
            toolkit::CHostDialog dialog(QString(), m_window.get());
            QTimer::singleShot(0, &dialog, [&dialog] { dialog.done(toolkit::IDOK); });
            dialog.DoModal();
        }
        QApplication::processEvents();
        m_window->activateWindow();  // as the window manager does once the dialog is gone
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QVERIFY2(noValueControlHasTheFocus(), qPrintable(FocusName()));
        // A click gives a box the focus: that is the user's.
        auto* noise = Named<QLineEdit>(QStringLiteral("edit_noise"));
        QTest::mouseClick(noise, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), noise);
        m_window->hide();
    }

    // What only the card can do is greyed without it: the mix and remote switches and "保存音效"
    // (whose dialog used to open and refuse only once a name was typed).
    void cardControlsWaitForTheCard() {
        auto* mix = Named<QAbstractButton>(QStringLiteral("chk_pc_mix"));
        auto* remote = Named<QAbstractButton>(QStringLiteral("chk_remote"));
        auto* save = Named(QStringLiteral("save_effect_btn"));
        QVERIFY(!mix->isEnabled() && !remote->isEnabled() && !save->isEnabled());
        const int before = m_ws->GetParam(5);
        mix->click();
        QCOMPARE(m_ws->GetParam(5), before);

        COpenCard card;
        m_ws->SetDevice(&card, nullptr);
        m_ws->SetConnected(true);
        ccm_util::EventBus::Instance().Fire(EventDeviceChanged());
        QVERIFY(mix->isEnabled() && remote->isEnabled() && save->isEnabled());
        // Parameter 5's PC monitoring bit (0x08), which no control shows, outlives the mix
        // switch going off and on.
        m_ws->SetParam(5, 25);
        m_ws->RefreshControls();
        mix->click();
        QCOMPARE(m_ws->GetParam(5), 24);
        mix->click();
        QCOMPARE(m_ws->GetParam(5), 25);
        m_ws->SetConnected(false);
        ccm_util::EventBus::Instance().Fire(EventDeviceChanged());
        QVERIFY(!mix->isEnabled() && !save->isEnabled());
        m_ws->SetDevice(nullptr, nullptr);
    }

    // Presets: a click marks its button alone, the dialogs' event marks theirs, the card's report
    // and any applied effect clear every mark.
    void presetMarks() {
        auto* bright = m_window->FindChildByID<QAbstractButton>(11101);
        auto* warm = m_window->FindChildByID<QAbstractButton>(11103);
        auto* live = m_window->FindChildByID<QAbstractButton>(11203);
        warm->click();
        QVERIFY(warm->isChecked());
        QCOMPARE(m_ws->GetSelectedPreset(1), 2);
        ccm_util::EventBus::Instance().Fire(EventUpdatePresetBtnStatu(1, 1));
        QVERIFY(bright->isChecked() && !warm->isChecked());
        ccm_util::EventBus::Instance().Fire(EventUpdatePresetBtnStatu(2, 3));
        QVERIFY(live->isChecked());
        ccm_util::EventBus::Instance().Fire(EventClearPresetBtnStatu());
        QVERIFY(!bright->isChecked() && !live->isChecked());
        warm->click();
        m_window->FindChildByID<QAbstractButton>(10003)->click();
        QVERIFY(!warm->isChecked());
    }

    // The equaliser opens from its button with its own binder; the page's binder is back after.
    void equaliserDialogThenPageBinding() {
        QString opened;
        m_page->SetDialogRunner([&](toolkit::CHostDialog& d) {
            opened = d.LayoutName();
            return toolkit::IDCANCEL;
        });
        m_window->FindChildByID<QAbstractButton>(1001)->click();
        QVERIFY(opened.endsWith(QStringLiteral("XML_DLG_EQ")));
        QCOMPARE(m_ws->ActiveBinder(), static_cast<IParamControlBinder*>(&m_page->Binder()));
        m_window->FindChildByID<QAbstractButton>(1000)->click();
        QVERIFY(opened.endsWith(QStringLiteral("XML_REVERB_PITCH")));
        QCOMPARE(m_ws->ActiveBinder(), static_cast<IParamControlBinder*>(&m_page->Binder()));
    }

    // A file path as identifier is effect 0 + 7; a card that takes nothing refuses it.
    void fileIdentifierSelectsEffectSeven() {
        COpenCard card;
        CQVAudioProtocol protocol;  // as the program always drives a card
        m_ws->SetDevice(&card, &protocol);
        m_ws->SetConnected(true);
        QVERIFY(!m_page->SaveEffectToSlot(u"/home/u/.local/share/velora/CloudEff/5.eff", 1, u"x"));
        QCOMPARE(m_ws->Pending().at(6), 7);
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("保存到设备失败"));
        m_ws->SetDevice(nullptr, nullptr);
    }

    // The effect file's progress shows from its first message; its end uncovers the page and a
    // failure names the effect.
    void effectFileProgress() {
        auto* bar = Named(QStringLiteral("progress_eff_download"));
        QVERIFY(bar->isHidden());
        QVERIFY(m_page->OnWindowMessage(UM_NOTIFY_MAIN, kNotifyDownloadProgress, 0));
        QVERIFY(!bar->isHidden());
        QVERIFY(m_page->OnWindowMessage(UM_NOTIFY_MAIN, kNotifyDownloadProgress, 250));
        QCOMPARE(bar->property("value").toInt(), 100);
        QVERIFY(m_page->OnWindowMessage(UM_NOTIFY_MAIN, kNotifyDownloadDone, 0));
        QVERIFY(bar->isHidden());
        QVERIFY(CTipWnd::Instance()->IsWarning());
        QVERIFY(!m_page->OnWindowMessage(UM_NOTIFY_MAIN, 5, 0));  // the shell's own

        // A file that cannot be read leaves the page usable at once; the list tells the user.
        COpenCard card;
        m_ws->SetDevice(&card, nullptr);
        m_ws->SetConnected(true);
        QVERIFY(!m_page->UseEffectFile(u"坏", m_dir->Path() / "missing.eff"));
        QVERIFY(Named(QStringLiteral("forbid_operation"))->isHidden());
        m_ws->SetDevice(nullptr, nullptr);
    }

    // A name that fills its field to the last unit (a damaged or foreign settings file) is read
    // up to the field's end: the title, the caption and the failure tip hold it and nothing of
    // the fields after it.
    void fullNameFieldsAreReadWithinTheirBounds() {
        QVERIFY(m_ws->SaveMyCustomEffect(0, u"x"));
        model::EffectRecord record = m_ws->CustomEffects()[0];
        const std::u16string full(std::size(record.name), u'名');
        std::copy(full.begin(), full.end(), record.name);  // no terminator
        model::SetRecordText(record.source, u"99");
        const model::CEffectStore store(m_dir->Path() / "LyntConfigData.db");
        QVERIFY(store.WriteMyCustomEffect(0, record));
        QVERIFY(store.WriteCurrentEffect(record));
        // The next start reads them.
        m_window->page = nullptr;
        m_page.reset();
        m_window.reset();
        m_ws.reset();
        m_ws = std::make_unique<CWorkSpace>(m_dir->Path() / "LyntConfigData.db", m_dir->Path());
        m_window = std::make_unique<CPageHost>();
        m_page = std::make_unique<CEventHandlerEffect>(m_ws.get());
        m_window->page = m_page.get();
        m_page->Setup(*m_window);
        m_page->RefreshButtonCaptions();
        QCOMPARE(m_window->FindChildByID<QAbstractButton>(10007)->toolTip(),
                 QString::fromStdU16String(full));
        m_page->RefreshEffectView();
        QCOMPARE(Named<QLabel>(QStringLiteral("txt_eff_title"))->text(),
                 QStringLiteral("当前音效：") + QString::fromStdU16String(full));
    }

    // A download already among My Effects is not added twice; the tip names the slot's effect.
    void addToMyEffectsRefusesADuplicate() {
        QVERIFY(m_ws->AddDownloadedToMyCustom(u"山谷", u"123", 0));
        m_page->AddToMyEffects(3, u"别名", u"123");
        QVERIFY(m_ws->CustomEffects()[3].empty);
        QVERIFY(CTipWnd::Instance()->Text().contains(QStringLiteral("山谷")));
        QCOMPARE(CTipWnd::Instance()->Duration(), 3000);
        m_page->AddToMyEffects(3, u"别名", u"124");
        QVERIFY(!m_ws->CustomEffects()[3].empty);
        QCOMPARE(m_window->FindChildByID<QAbstractButton>(10010)->text(), QStringLiteral("别名"));
    }

    // A store handed to the card worker is not a store done: the tips and the slot's record
    // follow the card's answer, so a card that takes nothing gets no record and the failure
    // tips (they used to say "成功保存到设备" as soon as the store was queued).
    void tipsAndRecordsFollowTheCardsAnswer() {
        toolkit::CQtDispatcher ui;
        ccm_util::CScopedDispatcher installed(&ui);
        COpenCard card;
        CQVAudioProtocol protocol;
        protocol.SetDeviceMgmt(&card);
        auto worker = std::make_unique<card::CCardWorker>();
        m_ws->SetCardWorker(worker.get());
        m_ws->SetDevice(&card, &protocol);
        m_ws->SetConnected(true);
        CTipWnd::ShowTipOnWindow(m_window.get(), QStringLiteral("-"));

        QVERIFY(m_page->SaveEffectToSlot(u"12", 2, u"云音效"));
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("-"));  // nothing said yet
        QTRY_COMPARE(CTipWnd::Instance()->Text(), QStringLiteral("保存到设备失败"));
        QVERIFY(!platform::profile::ReadPrivateProfileValue(u"DeviceCustomEffect", u"1",
                                                            m_dir->Path() / "LyntConfigData.db"));

        CTipWnd::ShowTipOnWindow(m_window.get(), QStringLiteral("-"));
        m_page->UseEffectNumber(5, u"远方");
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("-"));
        QTRY_COMPARE(CTipWnd::Instance()->Text(), QStringLiteral("远方音效使用失败!"));

        m_ws->SetCardWorker(nullptr);
        worker.reset();
        m_ws->SetDevice(nullptr, nullptr);
        protocol.SetDeviceMgmt(nullptr);
    }
};

QTEST_MAIN(TestEffectsPage)
#include "tst_effects_page.moc"
