// The parameter binder on real widgets and a real workspace: the user's actions become parameter
// edits, the card's values are shown, and a held knob is left alone until it is released.
#include <QLabel>
#include <QTest>
#include <memory>

#include "ModelEvents.h"
#include "QVAudioEvents.h"
#include "TempDir.h"
#include "UiTestSupport.h"
#include "WorkSpace.h"
#include "effects/ui/ParamControlBinder.h"
#include "widgets/QvCheckButton.h"
#include "widgets/QvRotaryKnob.h"
#include "widgets/QvSlider.h"
#include "widgets/SEdit2.h"

namespace {

using Edits = std::vector<std::pair<int, int>>;

// The real workspace, recording the edits the binder makes, with descriptors a test may damage.
class CRecordingWorkSpace : public CWorkSpace {
public:
    explicit CRecordingWorkSpace(const std::filesystem::path& dir)
        : CWorkSpace(dir / "LyntConfigData.db", dir), descriptors(CWorkSpace::Descriptors()) {}
    void OnParamEdited(int id, int value) {
        edits.emplace_back(id, value);
        CWorkSpace::OnParamEdited(id, value);
    }
    const std::vector<model::ParamDescriptor>& Descriptors() const { return descriptors; }

    Edits edits;
    std::vector<model::ParamDescriptor> descriptors;
};

// A page that hands its control events to its binder, as the program's pages do.
class CPage : public toolkit::CHostWindow {
public:
    effects::ui::CParamControlBinder<CRecordingWorkSpace> binder;

    template <typename T>
    T* Add(int id, QRect geometry) {
        auto* w = new T(this);
        toolkit::SetControlId(w, id);
        w->setGeometry(geometry);
        toolkit::WireControl(w);
        return w;
    }

protected:
    bool OnControlEvent(const toolkit::ControlEvent& ev) override { return binder.OnEvent(ev); }
};

void LeaveField(QWidget* w) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &out);
}

// A parameter report of the card, as the receive thread hands it to the workspace.
EventRecvData Report(int id, int value) {
    card::Frame f{};
    f[0] = card::RPT_PARAMS;
    f[4] = 1;
    f[5] = static_cast<uint8_t>(id);
    f[6] = static_cast<uint8_t>(0x10 | ((value >> 8) & 0x0F));
    f[7] = static_cast<uint8_t>(value & 0xFF);
    return EventRecvData(f);
}

}  // namespace

class TestParamBinder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { uitest::InitUi(); }

    void init() {
        m_dir = std::make_unique<TempDir>();
        m_ws = std::make_unique<CRecordingWorkSpace>(m_dir->Path());
        m_page = std::make_unique<CPage>();
        m_page->resize(400, 300);
    }

    void cleanup() {
        m_page.reset();
        QVERIFY(m_ws->ActiveBinder() == nullptr);  // the binder unregisters when it goes
        m_ws.reset();
        m_dir.reset();
    }

    void equaliserSliderAndTypedValue() {
        auto* slider = m_page->Add<QvSlider>(2025, {0, 0, 241, 24});
        auto* edit = m_page->Add<SEdit2>(6025, {0, 40, 80, 24});
        Binder().Attach(m_ws.get(), m_page.get());
        QVERIFY(Binder().Bind(9, -1, 2025, 6025));
        QVERIFY(Binder().Bind(9, effects::kBindEdit, 6025, 2025));
        QCOMPARE(slider->maximum(), 240);
        QCOMPARE(edit->text(), QString("-10.8"));  // the descriptor's initial value, 12

        slider->setValue(149);
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(edit->text(), QString("3.0"));
        QCOMPARE(m_ws->edits, (Edits{{9, 150}}));
        QCOMPARE(m_ws->GetParam(9), 150);

        // Only what can become a band's value is typed: "30" stops at "3".
        edit->clear();
        QTest::keyClicks(edit, "30");
        QCOMPARE(edit->text(), QString("3"));
        edit->clear();
        QTest::keyClicks(edit, "12");
        LeaveField(edit);
        QCOMPARE(edit->text(), QString("12.0"));
        QCOMPARE(slider->value(), 240);
        QCOMPARE(m_ws->edits.back(), std::make_pair(9, 240));

        QTest::keyClick(edit, Qt::Key_Down);  // one step is one raw unit: 0.1 dB
        QCOMPARE(edit->text(), QString("11.9"));
        QCOMPARE(slider->value(), 239);
        QCOMPARE(m_ws->edits.back(), std::make_pair(9, 239));

        // Text that is no value (put there by other means, or a box left empty) gives the
        // value back and sends nothing: not 0 dB, not a clamped number.
        const size_t sent = m_ws->edits.size();
        edit->setText("loud");
        LeaveField(edit);
        QCOMPARE(edit->text(), QString("11.9"));
        edit->clear();
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(edit->text(), QString("11.9"));
        QCOMPARE(m_ws->edits.size(), sent);
        QCOMPARE(m_ws->GetParam(9), 239);
    }

    // The noise box at "45" with the focus: a stray Num 3 makes no "453" (which left the box as
    // 100); Enter and leaving send nothing while the value is the same; a real edit goes out.
    void aValueBoxTakesOnlyValuesOfItsRange() {
        m_page->Add<QvRotaryKnob>(8009, {0, 0, 80, 80});
        auto* edit = m_page->Add<SEdit2>(6009, {100, 0, 60, 24});
        edit->setNumber(true);
        edit->setMaxLength(4);
        Binder().Attach(m_ws.get(), m_page.get());
        QVERIFY(Binder().Bind(4, -1, 8009, 6009));
        QVERIFY(Binder().Bind(4, effects::kBindEdit, 6009, 8009));
        QCOMPARE(edit->text(), QString("45"));
        edit->end(false);
        QTest::keyClicks(edit, "3");
        QTest::keyClick(edit, Qt::Key_3, Qt::KeypadModifier);
        QCOMPARE(edit->text(), QString("45"));
        QTest::keyClick(edit, Qt::Key_Return);
        LeaveField(edit);
        QVERIFY(m_ws->edits.empty());
        QCOMPARE(m_ws->GetParam(4), 45);

        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(m_ws->edits, (Edits{{4, 4}}));
        QTest::keyClicks(edit, "-");  // no minus where the range has none
        QCOMPARE(edit->text(), QString("4"));
    }

    // Parameter 5 at 25: mix (0x01), PC monitoring (0x08) and charging (0x10) on. The mix check
    // box and the remote switch own their bits only; PC monitoring, which no control here shows,
    // stays as the card reported it (it was dropped: 25 -> 16 -> 17).
    void switchesKeepTheBitsNoControlOwns() {
        auto* mix = m_page->Add<QvCheckButton>(7020, {0, 0, 60, 24});
        auto* remote = m_page->Add<QvCheckButton>(7022, {0, 40, 60, 24});
        mix->setAutoCheck(1);
        remote->setAutoCheck(1);
        Binder().Attach(m_ws.get(), m_page.get());
        QVERIFY(Binder().BindSwitch(16, 7022, 5));
        QVERIFY(Binder().Bind(5, -1, 7020));
        m_ws->OnRecvDataEvent(Report(5, 25));
        QVERIFY(mix->isChecked());
        QVERIFY(remote->isChecked());
        mix->click();
        QCOMPARE(m_ws->GetParam(5), 24);
        mix->click();
        QCOMPARE(m_ws->GetParam(5), 25);
        remote->click();
        QCOMPARE(m_ws->GetParam(5), 9);
        QCOMPARE(m_ws->edits, (Edits{{5, 24}, {5, 25}, {5, 9}}));
    }

    void levelShareItsValueWithTheMuteSwitch() {
        auto* knob = m_page->Add<QvRotaryKnob>(8011, {0, 0, 80, 80});
        auto* edit = m_page->Add<SEdit2>(6011, {100, 0, 60, 24});
        auto* mute = m_page->Add<QvCheckButton>(7011, {100, 40, 60, 24});
        mute->setAutoCheck(1);
        Binder().Attach(m_ws.get(), m_page.get());
        QVERIFY(Binder().Bind(0, -1, 8011, 6011));
        QVERIFY(Binder().Bind(0, effects::kBindEdit, 6011, 8011));
        QVERIFY(Binder().BindSwitch(0, 7011, 0));

        Binder().ShowValue(0, 0x80 | 40);
        QCOMPARE(knob->value(), 40);
        QCOMPARE(edit->text(), QString("40"));
        QVERIFY(mute->isChecked());
        QVERIFY(m_ws->edits.empty());  // showing never echoes back

        // Without a partner the mute bit goes along with the new level.
        knob->setValue(49);
        QTest::keyClick(knob, Qt::Key_Up);
        QCOMPARE(m_ws->edits, (Edits{{0, 0x80 | 50}}));
        QCOMPARE(edit->text(), QString("50"));
        QVERIFY(mute->isChecked());

        // With the switch as partner, leaving 0 unmutes first.
        QVERIFY(Binder().Bind(0, -1, 8011, 6011, 7011));
        Binder().ShowValue(0, 0x80 | 40);
        knob->setValue(49);
        QTest::keyClick(knob, Qt::Key_Up);
        QVERIFY(!mute->isChecked());
        QCOMPARE(m_ws->edits.back(), std::make_pair(0, 50));

        mute->click();
        QVERIFY(mute->isChecked());
        QCOMPARE(m_ws->edits.back(), std::make_pair(0, 0x80 | 50));
        QCOMPARE(m_ws->GetParam(0), 0x80 | 50);
    }

    // A partner switch of another parameter is cleared as an edit of that parameter, and only
    // by the user: the card's values show each parameter as it is.
    void partnerSwitchOfAnotherParameter() {
        auto* knob = m_page->Add<QvRotaryKnob>(8023, {0, 0, 80, 80});
        auto* reverbOn = m_page->Add<QvCheckButton>(7029, {100, 0, 60, 24});
        Binder().Attach(m_ws.get(), m_page.get());
        QVERIFY(Binder().Bind(29, -1, 7029));
        QVERIFY(Binder().Bind(30, -1, 8023, 0, 7029));
        QVERIFY(reverbOn->isChecked());  // initial value 1

        m_ws->OnRecvDataEvent(Report(30, 50));
        QCOMPARE(knob->value(), 50);
        QVERIFY(reverbOn->isChecked());

        QTest::keyClick(knob, Qt::Key_Up);
        QVERIFY(!reverbOn->isChecked());
        QCOMPARE(m_ws->edits, (Edits{{29, 0}, {30, 51}}));
        QCOMPARE(m_ws->GetParam(29), 0);
    }

    void reverbTimeAndVoiceLevelTexts() {
        BindLikeReverbDialog();
        auto* time = m_page->findChild<QLabel*>("t6020");
        auto* level = m_page->findChild<QLabel*>("t6017");
        m_ws->SetParam(35, 15);
        m_ws->SetParam(28, 0);
        m_ws->RefreshControls();
        QCOMPARE(time->text(), QString("1500"));
        QCOMPARE(level->text(), QString("-125"));
        m_ws->OnRecvDataEvent(Report(28, 250));
        QCOMPARE(level->text(), QString("125"));
        QCOMPARE(m_page->findChild<QvRotaryKnob*>("k8017")->value(), 250);
    }

    // A damaged effect record shows the ends of the ranges, never garbage.
    void outOfRangeValuesAreClamped() {
        BindLikeReverbDialog();
        model::EffectRecord damaged = m_ws->CurrentEffect();
        damaged.params[35] = 4000;
        damaged.params[28] = -7;
        m_ws->LoadEffect(damaged);
        m_ws->RefreshControls();
        QCOMPARE(m_page->findChild<QLabel*>("t6020")->text(), QString("6000"));
        QCOMPARE(m_page->findChild<QvRotaryKnob*>("k8020")->value(), 60);
        QCOMPARE(m_page->findChild<QLabel*>("t6017")->text(), QString("-125"));
        QCOMPARE(m_page->findChild<QvRotaryKnob*>("k8017")->value(), 0);
    }

    void cardReportWaitsWhileTheKnobIsHeld() {
        BindLikeReverbDialog();
        auto* knob = m_page->findChild<QvRotaryKnob*>("k8023");
        auto* text = m_page->findChild<QLabel*>("t6023");
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));

        uitest::Press(knob, QPoint(10, 40));
        const int held = knob->value();
        QCOMPARE(m_ws->edits.back(), std::make_pair(30, held));
        const int card = held == 77 ? 78 : 77;
        m_ws->OnRecvDataEvent(Report(30, card));
        QCOMPARE(m_ws->GetParam(30), card);
        QCOMPARE(knob->value(), held);  // not moved under the pointer
        QCOMPARE(text->text(), QString::number(held));

        uitest::Release(knob, QPoint(10, 40));
        QCOMPARE(knob->value(), card);
        QCOMPARE(text->text(), QString::number(card));
        m_ws->OnRecvDataEvent(Report(30, 5));  // released: shown at once
        QCOMPARE(knob->value(), 5);
    }

    void formatWithoutNumberConversion() {
        m_ws->descriptors[4].format = u"%s dB";
        auto* text = m_page->Add<QLabel>(6009, {0, 0, 200, 24});
        Binder().Attach(m_ws.get(), m_page.get());
        QVERIFY(Binder().Bind(4, effects::kBindText, 6009));
        QCOMPARE(text->text(), QString("无效的参数转换符"));
        Binder().ShowValue(4, 30);
        QCOMPARE(text->text(), QString("无效的参数转换符"));
        QVERIFY(!Binder().Bind(47, -1, 6009));  // no such parameter
    }

private:
    effects::ui::CParamControlBinder<CRecordingWorkSpace>& Binder() { return m_page->binder; }

    // Knob and text of each parameter, bound both ways, as the reverb and voice dialog does.
    void BindLikeReverbDialog() {
        const std::pair<int, int> rows[] = {{35, 20}, {30, 23}, {28, 17}};
        for (auto [param, n] : rows) {
            m_page->Add<QvRotaryKnob>(8000 + n, {n * 10, 0, 80, 80})
                ->setObjectName(QString("k%1").arg(8000 + n));
            m_page->Add<QLabel>(6000 + n, {n * 10, 100, 80, 24})
                ->setObjectName(QString("t%1").arg(6000 + n));
        }
        Binder().Attach(m_ws.get(), m_page.get());
        for (auto [param, n] : rows) {
            QVERIFY(Binder().Bind(param, -1, 8000 + n, 6000 + n));
            QVERIFY(Binder().Bind(param, effects::kBindEdit, 6000 + n, 8000 + n));
        }
    }

    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<CRecordingWorkSpace> m_ws;
    std::unique_ptr<CPage> m_page;
};

QTEST_MAIN(TestParamBinder)
#include "tst_binder.moc"
