// The effects page on the real main-window layout and a workspace without a card: the mixer's
// controls show the workspace's values and send the user's edits back, and the effect buttons
// follow the current effect.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include "../core/TempDir.h"
#include "WorkSpace.h"
#include "app/ui/AppLayouts.h"
#include "effects/ui/EventHandlerEffect.h"
#include "toolkit/HostWindow.h"
#include "toolkit/Toolkit.h"
#include "widgets/QvRotaryKnob.h"
#include "widgets/Widgets.h"

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

        m_ws->SetParam(5, 0x01);
        m_ws->RefreshControls();
        Named<QAbstractButton>(QStringLiteral("chk_remote"))->click();
        QCOMPARE(m_ws->GetParam(5), 0x11);
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
    }
};

QTEST_MAIN(TestEffectsPage)
#include "tst_effects_page.moc"
