// QvRotaryKnob: the value from a mouse point with the worked example, the pin
// at the gap, keys, wheel, events, repainting and the attributes from a .ui layout.
#include <QSignalSpy>
#include <QTest>

#include "UiTestSupport.h"
#include "toolkit/Controls.h"
#include "ui_TEST_KNOB.h"
#include "widgets/QvRotaryKnob.h"

using uitest::Move;
using uitest::Press;
using uitest::Release;

class TestRotaryKnob : public QObject {
    Q_OBJECT

    // A 100 x 100 knob, 0..100, gap 70: units per degree 100 / 290.
    static void Setup(QvRotaryKnob& k) {
        k.setFixedSize(100, 100);
        k.setRange(0, 100);
        k.setIncludedAngle(70);
        k.setDotRadius(20);
    }

private slots:
    void initTestCase() { uitest::InitUi(); }

    void valueFromPoint_data() {
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<double>("sweep");
        QTest::addColumn<int>("value");
        QTest::newRow("straight left") << QPoint(-30, 0) << 55.0 << 18;
        QTest::newRow("straight up") << QPoint(0, -30) << 145.0 << 50;
        QTest::newRow("straight right") << QPoint(30, 0) << 235.0 << 81;
        QTest::newRow("straight down") << QPoint(0, 30) << 325.0 << 100;
        // atan2 in degrees with 3.14 for pi: a little more than 90 degrees, minus 90 and 35.
        QTest::newRow("just left of down") << QPoint(-1, 30) << -33.0 << 0;
        QTest::newRow("just right of down") << QPoint(1, 30) << 323.0 << 100;
        QTest::newRow("upper left diagonal") << QPoint(-20, -20) << 100.0 << 34;
    }

    void valueFromPoint() {
        QFETCH(QPoint, offset);
        QFETCH(double, sweep);
        QFETCH(int, value);
        QvRotaryKnob k;
        Setup(k);
        QCOMPARE(k.Centre(), QPoint(50, 50));
        Press(&k, k.Centre() + offset);
        QCOMPARE(k.value(), value);
        QVERIFY2(qAbs(k.Sweep() - sweep) < 1.0, qPrintable(QString::number(k.Sweep())));
        // The dot moves to dotRadius from the centre, towards the point.
        const QPointF d = k.DotPos() - QPointF(k.Centre());
        QVERIFY(qAbs(std::hypot(d.x(), d.y()) - 20.0) < 0.01);
    }

    void minimumIsNotAddedToTheScale() {
        QvRotaryKnob k;
        Setup(k);
        k.setRange(-12, 12);                     // 24 units over 290 degrees
        Press(&k, k.Centre() + QPoint(0, -30));  // 145 degrees: 12 units from the scale's 0
        QCOMPARE(k.value(), 12);
        Press(&k, k.Centre() + QPoint(-30, 0));  // 55 degrees: 4.55 units, not -12 + 4
        QCOMPARE(k.value(), 4);
    }

    void pressAndDragRaiseSliderPos() {
        uitest::CRecordingHost host;
        auto* k = new QvRotaryKnob(&host);
        Setup(*k);
        k->setObjectName(QStringLiteral("knob_reverb"));
        toolkit::SetControlId(k, 8030);
        QSignalSpy spy(k, &QvRotaryKnob::sliderPos);
        Press(k, k->Centre() + QPoint(0, -30));
        Move(k, k->Centre() + QPoint(30, 0));
        Release(k, k->Centre() + QPoint(30, 0));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(host.events.size(), size_t(2));
        const toolkit::ControlEvent& last = host.events.back();
        QCOMPARE(last.kind, toolkit::EventKind::SliderPos);
        QCOMPARE(QString::fromLatin1(last.EventName()), QStringLiteral("on_slider_pos"));
        QCOMPARE(last.controlId, 8030);
        QCOMPARE(last.controlName, QStringLiteral("knob_reverb"));
        QCOMPARE(last.value, 81);
        QVERIFY(!k->IsDragging());
    }

    void dragAcrossTheGapPinsAtMaximum() {
        QvRotaryKnob k;
        Setup(k);
        const QPoint c = k.Centre();
        Press(&k, c + QPoint(1, 30));  // right of the gap: 100
        QCOMPARE(k.value(), 100);
        Move(&k, c + QPoint(-1, 30));  // across the gap: the minimum side
        QCOMPARE(k.value(), 100);
        QVERIFY(k.IsPinnedAtMaximum());
        Move(&k, c + QPoint(-30, 0));  // further round the minimum side
        QCOMPARE(k.value(), 100);
        Move(&k, c + QPoint(1, 30));  // back at the maximum end: free again
        QVERIFY(!k.IsPinnedAtMaximum());
        QCOMPARE(k.value(), 100);
        Move(&k, c + QPoint(0, -30));
        QCOMPARE(k.value(), 50);
        Release(&k, c + QPoint(0, -30));
        QVERIFY(!k.IsPinnedAtMaximum());
    }

    void dragAcrossTheGapPinsAtMinimum() {
        QvRotaryKnob k;
        Setup(k);
        const QPoint c = k.Centre();
        Press(&k, c + QPoint(-1, 30));
        QCOMPARE(k.value(), 0);
        Move(&k, c + QPoint(1, 30));
        QCOMPARE(k.value(), 0);
        QVERIFY(k.IsPinnedAtMinimum());
        Move(&k, c + QPoint(30, 0));
        QCOMPARE(k.value(), 0);
        Move(&k, c + QPoint(-1, 30));
        Move(&k, c + QPoint(-30, 0));
        QCOMPARE(k.value(), 18);
        Release(&k, c);
        QVERIFY(!k.IsPinnedAtMinimum() && !k.IsPinnedAtMaximum());
    }

    void keys_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("Home is the maximum") << 40 << int(Qt::Key_Home) << 100;
        QTest::newRow("End is the minimum") << 40 << int(Qt::Key_End) << 0;
        QTest::newRow("Page Up adds a fifth") << 40 << int(Qt::Key_PageUp) << 60;
        QTest::newRow("Page Down takes a fifth") << 40 << int(Qt::Key_PageDown) << 20;
        QTest::newRow("Page Up stops at the maximum") << 90 << int(Qt::Key_PageUp) << 100;
        QTest::newRow("Page Down stops at the minimum") << 10 << int(Qt::Key_PageDown) << 0;
        QTest::newRow("Left") << 40 << int(Qt::Key_Left) << 39;
        QTest::newRow("Down") << 40 << int(Qt::Key_Down) << 39;
        QTest::newRow("Up") << 40 << int(Qt::Key_Up) << 41;
        QTest::newRow("Right") << 40 << int(Qt::Key_Right) << 41;
    }

    void keys() {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, expected);
        QvRotaryKnob k;
        Setup(k);
        k.setValue(start);
        QSignalSpy spy(&k, &QvRotaryKnob::sliderPos);
        QTest::keyClick(&k, Qt::Key(key));
        QCOMPARE(k.value(), expected);
        QCOMPARE(spy.count(), 1);  // raised after each key, even at an end
    }

    void otherKeysArePassedOn() {
        QvRotaryKnob k;
        Setup(k);
        k.setValue(40);
        QKeyEvent e(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(&k, &e);
        QVERIFY(!e.isAccepted());
        QCOMPARE(k.value(), 40);
    }

    void wheel() {
        QvRotaryKnob k;
        Setup(k);
        k.setValue(40);
        QSignalSpy spy(&k, &QvRotaryKnob::sliderPos);
        uitest::Wheel(&k, 120);  // away from the user
        QCOMPARE(k.value(), 41);
        uitest::Wheel(&k, -240);  // two notches towards the user
        QCOMPARE(k.value(), 39);
        uitest::Wheel(&k, 60);  // half notches add up
        QCOMPARE(k.value(), 39);
        uitest::Wheel(&k, 60);
        QCOMPARE(k.value(), 40);
        QCOMPARE(spy.count(), 3);
    }

    void repaintsOnlyWhenTheValueChanges() {
        QvRotaryKnob k;
        Setup(k);
        k.setValue(40);
        k.show();
        QVERIFY(QTest::qWaitForWindowExposed(&k));
        QTest::qWait(50);  // the first paints of a new window
        uitest::CPaintCounter paints(&k);
        k.setValue(40);
        QCoreApplication::processEvents();
        QCOMPARE(paints.count, 0);
        k.setValue(41);
        QTRY_VERIFY(paints.count > 0);
    }

    void paintSweepFollowsTheValue() {
        QvRotaryKnob k;
        Setup(k);
        k.setValue(50);
        QVERIFY(qAbs(k.PaintSweep() - 145.0) < 1e-9);
        QCOMPARE(k.StartAngle(), 125.0);
    }

    void badPointerTypeKeepsTheOldValue() {
        QvRotaryKnob k;
        k.setPointertype(QStringLiteral("pterDot"));
        QTest::ignoreMessage(QtWarningMsg, "QvRotaryKnob: bad pointertype \"needle\"");
        k.setPointertype(QStringLiteral("needle"));
        QCOMPARE(k.pointertype(), QStringLiteral("pterDot"));
    }

    void attributesFromALayout() {
        QWidget root;
        Ui::TEST_KNOB ui;
        ui.setupUi(&root);
        auto* knob = toolkit::FindById<QvRotaryKnob>(&root, 8030);
        QVERIFY(knob);
        QCOMPARE(knob, toolkit::FindByName<QvRotaryKnob>(&root, QStringLiteral("knob_reverb")));
        QCOMPARE(knob->includedAngle(), 70.0);
        QCOMPARE(knob->fgRadius(), 33);
        QCOMPARE(knob->colorCircle(), QColor(0x00, 0xF6, 0xFF));
        QCOMPARE(knob->pointertype(), QStringLiteral("pterSlash"));
        QCOMPARE(knob->pointerSize(), QSize(4, 14));
        QCOMPARE(knob->poniterOffset(), QPoint(-2, 9));
        QCOMPARE(knob->value(), 40);
        QVERIFY(toolkit::IsClass(knob, "qvrotaryknob"));
        QVERIFY(toolkit::IsClass(knob, "sliderbar"));
        QVERIFY(!toolkit::IsClass(knob, "qvslider"));
        QVERIFY(!knob->grab().isNull());  // paints with its skins
    }
};

QTEST_MAIN(TestRotaryKnob)
#include "tst_rotaryknob.moc"
