// The level meters and progress bars: QvProgressEX falls by DeclineSpeed per repaint
// and drops to 0, QvProgressEX1 falls to 0 smoothly and has its fall-off animation, QvVuGroup
// feeds its meters, and the bars repaint only when their value changes. QvProgressRow paints
// sibling meters together, and what it leaves on the screen is checked pixel by pixel.
#include <QScreen>
#include <QTest>

#include "UiTestSupport.h"
#include "toolkit/Timeline.h"
#include "widgets/QvProgress.h"
#include "widgets/QvProgressEX.h"
#include "widgets/QvProgressRow.h"

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

    // Three meters under a row, on a magenta page: after a jump up and a jump down each bar ends
    // where its level puts it, the page shows between them, and a level set on a meter itself
    // shows too.
    void aRowPaintsItsMetersWhereTheyAre() {
        QWidget page;
        page.setAutoFillBackground(true);
        QPalette magenta = page.palette();
        magenta.setColor(QPalette::Window, Qt::magenta);
        page.setPalette(magenta);
        page.resize(200, 40);
        std::vector<QvProgressEX*> meters;
        for (int i = 0; i < 3; ++i) {
            auto* m = new QvProgressEX(&page);
            m->setGeometry(10 + 60 * i, 10, 50, 6);
            m->setRange(0, 30);
            m->setDeclineSpeed(100);
            meters.push_back(m);
        }
        auto* row = new QvProgressRow(meters);
        QCOMPARE(row->geometry(), QRect(10, 10, 170, 6));
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        auto screen = [&page] {
            return page.screen()
                ->grabWindow(page.winId())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        };
        // Lit columns of a meter's middle row: those unlike its right end, which is unlit.
        auto litColumns = [](const QImage& shot, QvProgressEX* m) {
            const QImage bar = shot.copy(m->geometry());
            const QRgb unlit = bar.pixel(bar.width() - 1, bar.height() / 2);
            int lit = 0;
            while (lit < bar.width() && bar.pixel(lit, bar.height() / 2) != unlit) {
                ++lit;
            }
            return lit;
        };
        const std::array<int, 3> up = {30, 0, 15};
        QVERIFY(row->ShowValues(up));
        QVERIFY(!row->ShowValues(up));  // nothing changed, nothing to paint
        const std::array<int, 3> down = {5, 29, 15};
        QVERIFY(row->ShowValues(down));
        QImage shot = screen();
        // A bar ends within a column of 50 * level / 30.
        auto near = [](int columns, double expected) { return std::abs(columns - expected) <= 1; };
        QVERIFY(near(litColumns(shot, meters[0]), 8.3));
        QVERIFY(near(litColumns(shot, meters[1]), 48.3));
        QVERIFY(near(litColumns(shot, meters[2]), 25));
        QCOMPARE(QColor(shot.pixel(65, 12)), QColor(Qt::magenta));  // between two meters
        QCOMPARE(QColor(shot.pixel(20, 20)), QColor(Qt::magenta));  // below them
        meters[2]->setValue(3);
        QTRY_VERIFY(near(litColumns(screen(), meters[2]), 5));
    }

    // However the meters lie (in a row, stacked with the last on top, in two rows of different
    // heights), a jump up and a jump down leave each bar ending where its level puts it.
    void aRowPaintsMetersInAnyLayout_data() {
        QTest::addColumn<QList<QRect>>("places");
        QTest::newRow("row") << QList<QRect>{{10, 10, 50, 6}, {70, 10, 50, 6}, {130, 10, 50, 6}};
        QTest::newRow("stacked, last on top")
            << QList<QRect>{{10, 50, 60, 6}, {10, 30, 60, 6}, {10, 10, 60, 6}};
        QTest::newRow("two rows")
            << QList<QRect>{{100, 10, 60, 9}, {10, 40, 60, 6}, {10, 10, 60, 6}};
        QTest::newRow("touching")
            << QList<QRect>{{10, 10, 40, 6}, {50, 10, 40, 6}, {90, 10, 40, 6}};
    }

    void aRowPaintsMetersInAnyLayout() {
        QFETCH(QList<QRect>, places);
        QWidget page;
        page.resize(200, 70);
        std::vector<QvProgressEX*> meters;
        for (const QRect& place : places) {
            auto* m = new QvProgressEX(&page);
            m->setGeometry(place);
            m->setRange(0, 30);
            m->setDeclineSpeed(100);
            meters.push_back(m);
        }
        auto* row = new QvProgressRow(meters);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const std::array<int, 3> up = {30, 21, 12};
        QVERIFY(row->ShowValues(up));
        const std::array<int, 3> down = {6, 24, 3};
        QVERIFY(row->ShowValues(down));
        const QImage shot =
            page.screen()->grabWindow(page.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        for (size_t i = 0; i < meters.size(); ++i) {
            const QImage bar = shot.copy(meters[i]->geometry());
            const QRgb unlit = bar.pixel(bar.width() - 1, bar.height() / 2);
            int lit = 0;
            while (lit < bar.width() && bar.pixel(lit, bar.height() / 2) != unlit) {
                ++lit;
            }
            const double expected = bar.width() * down[i] / 30.0;
            QVERIFY2(std::abs(lit - expected) <= 1,
                     qPrintable(QStringLiteral("meter %1: %2 lit columns, %3 expected")
                                    .arg(i)
                                    .arg(lit)
                                    .arg(expected)));
        }
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
