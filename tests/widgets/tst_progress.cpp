// The level meters and progress bars: QvProgressEX falls by DeclineSpeed per repaint
// and drops to 0, QvProgressEX1 falls to 0 smoothly and has its fall-off animation, QvVuGroup
// feeds its meters, and the bars repaint only when their value changes.
#include <QtTest>

#include "UiTestSupport.h"
#include "toolkit/Timeline.h"
#include "widgets/QvProgress.h"
#include "widgets/QvProgressEX.h"

namespace {

// Paints once, as a repaint of the window would.
void Repaint(QWidget& w) {
    (void)w.grab();
}

class CFixedLevels : public ILevelSource {
public:
    bool IsActive() const override { return active; }
    int Fill(int* values, int count) override {
        ++fills;
        for (int i = 0; i < count; ++i)
            values[i] = 10 * (i + 1);
        return count;
    }
    bool active = true;
    int fills = 0;
};

}  // namespace

class TestProgress : public QObject {
    Q_OBJECT

    template <typename M>
    static void Setup(M& m) {
        m.resize(10, 100);
        m.setVertical(true);
        m.setRange(0, 30);
        m.setDeclineSpeed(8);  // 8 % of 30: at most 2 per repaint
    }

private slots:
    void initTestCase() { uitest::InitUi(); }

    void ex1FallsTwoPerRepaintToZero() {
        QvProgressEX1 m;
        Setup(m);
        m.setValue(30);
        Repaint(m);
        QCOMPARE(m.ShownValue(), 30);
        QList<int> shown;
        for (int i = 0; i < 4; ++i) {
            m.setValue(0);
            Repaint(m);
            shown.append(m.ShownValue());
        }
        QCOMPARE(shown, (QList<int>{28, 26, 24, 22}));
    }

    void exDropsToZeroButFallsToALowLevel() {
        QvProgressEX m;
        Setup(m);
        m.setValue(30);
        Repaint(m);
        m.setValue(0);
        Repaint(m);
        QCOMPARE(m.ShownValue(), 0);

        m.setValue(30);
        Repaint(m);
        m.setValue(5);
        Repaint(m);
        QCOMPARE(m.ShownValue(), 28);
        m.setValue(5);
        Repaint(m);
        QCOMPARE(m.ShownValue(), 26);
    }

    void aRisingLevelIsShownAtOnce() {
        QvProgressEX m;
        Setup(m);
        m.setValue(4);
        Repaint(m);
        m.setValue(27);
        Repaint(m);
        QCOMPARE(m.ShownValue(), 27);
    }

    void ex1DefaultDeclineSpeedIsFour() {
        QvProgressEX1 m;
        QCOMPARE(m.DeclineSpeed(), 4);
        QvProgressEX ex;
        QCOMPARE(ex.DeclineSpeed(), 0);
    }

    void fallOffAnimationRunsUntilTheMeterShowsZero() {
        QvProgressEX1 m;
        Setup(m);
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        m.setValue(30);
        Repaint(m);
        m.StartFallOff();
        QVERIFY(m.IsFallingOff());
        QCOMPARE(m.FallOffCounter(), 50);
        QCOMPARE(m.value(), 0);
        // Each tick asks for a repaint; each repaint lets the level fall by 2.
        for (int i = 0; i < 15; ++i) {
            m.OnNextFrame();
            Repaint(m);
        }
        QCOMPARE(m.ShownValue(), 0);
        QVERIFY(m.IsFallingOff());
        m.OnNextFrame();  // sees the meter at 0 and leaves the timeline
        QVERIFY(!m.IsFallingOff());
        QVERIFY(!toolkit::CTimeline::Instance().IsRunning());
    }

    void fallOffOfAHiddenMeterEndsToo() {
        QvProgressEX1 m;
        Setup(m);
        m.setValue(30);
        Repaint(m);
        m.StartFallOff();
        for (int i = 0; i < 20 && m.IsFallingOff(); ++i) {
            m.OnNextFrame();
        }
        QVERIFY(!m.IsFallingOff());
        QCOMPARE(m.ShownValue(), 0);
    }

    void fallOffOnTheTimeline() {
        QvProgressEX1 m;
        Setup(m);
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        m.setValue(30);
        Repaint(m);
        m.StartFallOff();
        QVERIFY(toolkit::CTimeline::Instance().IsRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!m.IsFallingOff(), 3000);
        QCOMPARE(m.ShownValue(), 0);
    }

    void progressRepaintsOnlyOnChange() {
        QvProgress p;
        p.resize(100, 8);
        p.setValue(40);
        p.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p));
        QTest::qWait(50);
        uitest::CPaintCounter paints(&p);
        p.setValue(40);
        p.setValue(140);  // clamped to 100
        QTRY_VERIFY(paints.count > 0);
        const int after = paints.count;
        p.setValue(100);
        QCoreApplication::processEvents();
        QCOMPARE(paints.count, after);
        QCOMPARE(p.value(), 100);
    }

    void classTest() {
        QvVumeter vu;
        QVERIFY(toolkit::IsClass(&vu, "qvvumeter"));
        QVERIFY(toolkit::IsClass(&vu, "qvprogress"));
        QVERIFY(toolkit::IsClass(&vu, "progress"));
        QvProgressEX1 ex1;
        QVERIFY(toolkit::IsClass(&ex1, "qvprogressex"));
        QVERIFY(!toolkit::IsClass(&ex1, "qvprogress"));
    }

    void vuGroupFeedsItsMeters() {
        QvVuGroup group;
        auto* a = new QvVumeter(&group);
        auto* b = new QvVumeter(&group);
        CFixedLevels levels;
        group.SetLevelSource(&levels);
        QCOMPARE(group.Meters().size(), 2);
        new QvVumeter(&group);  // collected once: a later meter is not fed
        group.OnCountdownExpired();
        QCOMPARE(a->value(), 10);
        QCOMPARE(b->value(), 20);
        QCOMPARE(group.Countdown(), 100);
        QCOMPARE(group.Meters().size(), 2);

        levels.active = false;
        group.OnCountdownExpired();
        QCOMPARE(a->value(), 0);
        QCOMPARE(b->value(), 0);
        QCOMPARE(group.Countdown(), 2000);
        group.SetLevelSource(nullptr);
        group.OnCountdownExpired();
        QCOMPARE(group.Countdown(), 2000);
    }

    void vuGroupRunsWhileShown() {
        QvVuGroup group;
        auto* a = new QvVumeter(&group);
        CFixedLevels levels;
        group.SetLevelSource(&levels);
        group.OnCountdownExpired();  // countdown now 100
        group.show();
        QTRY_VERIFY_WITH_TIMEOUT(levels.fills >= 3, 2000);
        QCOMPARE(a->value(), 10);
        group.hide();
        const int fills = levels.fills;
        QTest::qWait(250);
        QCOMPARE(levels.fills, fills);
    }
};

QTEST_MAIN(TestProgress)
#include "tst_progress.moc"
