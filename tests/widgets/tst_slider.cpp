// QvSlider and QvSlider2: clicks and drags map to the value rule, keys and wheel, the
// selected part, and the shared value tip with "delta".
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "UiTestSupport.h"
#include "widgets/QvSlider.h"
#include "widgets/SSimpleToolTip.h"

using uitest::Move;
using uitest::Press;
using uitest::Release;

class TestSlider : public QObject {
    Q_OBJECT

    // No skins: a 14 x 14 thumb, so a 220 pixel slider has its rail from 7, 206 pixels long.
    static void Horizontal(SSliderBar& s) {
        s.setFixedSize(220, 20);
        s.setRange(0, 100);
        s.setValue(0);
    }
    static void Vertical(SSliderBar& s) {
        s.setVertical(true);
        s.setFixedSize(20, 220);
        s.setRange(0, 100);
        s.setValue(0);
    }

private slots:
    void initTestCase() { uitest::InitUi(); }

    void geometry() {
        QvSlider s;
        Horizontal(s);
        QCOMPARE(s.RailRect(), QRect(7, 8, 206, 4));
        QCOMPARE(s.ThumbRect(), QRect(0, 3, 14, 14));
        s.setValue(100);
        QCOMPARE(s.ThumbRect(), QRect(206, 3, 14, 14));
    }

    void clickOnTheRail_data() {
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<int>("pos");
        QTest::addColumn<int>("expected");
        // value = minimum + (x - rail left) * (maximum - minimum + 1) / rail width
        QTest::newRow("horizontal middle") << false << 110 << 50;
        QTest::newRow("horizontal quarter") << false << 60 << 25;
        QTest::newRow("horizontal near the end") << false << 200 << 94;
        QTest::newRow("horizontal past the end") << false << 218 << 100;
        // vertical: (rail bottom - y) * (maximum - minimum + 1) / rail height
        QTest::newRow("vertical middle") << true << 110 << 50;
        QTest::newRow("vertical near the top") << true << 20 << 94;
    }

    void clickOnTheRail() {
        QFETCH(bool, vertical);
        QFETCH(int, pos);
        QFETCH(int, expected);
        uitest::CRecordingHost host;
        auto* s = new QvSlider(&host);
        vertical ? Vertical(*s) : Horizontal(*s);
        if (vertical) {
            s->setValue(100);  // keeps the thumb away from the clicks
        }
        QSignalSpy spy(s, &QvSlider::sliderPos);
        const QPoint pt = vertical ? QPoint(10, pos) : QPoint(pos, 10);
        QVERIFY(!s->ThumbRect().contains(pt));
        Press(s, pt);
        QCOMPARE(s->value(), expected);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(host.events.size(), size_t(1));
        QCOMPARE(host.events[0].kind, toolkit::EventKind::SliderPos);
        QCOMPARE(host.events[0].value, expected);
        QVERIFY(s->IsDragging());
        Release(s, pt);
        QVERIFY(!s->IsDragging());
    }

    void dragTheThumb() {
        QvSlider s;
        Horizontal(s);
        QSignalSpy spy(&s, &QvSlider::sliderPos);
        Press(&s, QPoint(7, 10));  // on the thumb: no change yet
        QCOMPARE(s.value(), 0);
        QCOMPARE(spy.count(), 0);
        Move(&s, QPoint(57, 10));  // 50 px * 101 / 206
        QCOMPARE(s.value(), 24);
        Move(&s, QPoint(-30, 10));
        QCOMPARE(s.value(), 0);
        Move(&s, QPoint(400, 10));
        QCOMPARE(s.value(), 100);
        QCOMPARE(spy.count(), 3);
        Release(&s, QPoint(400, 10));
    }

    void dragAfterARailClickStartsFromTheNewValue() {
        QvSlider s;
        Horizontal(s);
        Press(&s, QPoint(110, 10));
        QCOMPARE(s.value(), 50);
        Move(&s, QPoint(120, 10));  // + 10 * 101 / 206 = + 4
        QCOMPARE(s.value(), 54);
        Release(&s, QPoint(120, 10));
    }

    void dragAVerticalSliderUpwards() {
        QvSlider s;
        Vertical(s);
        const QPoint thumb = s.ThumbRect().center();
        Press(&s, thumb);
        Move(&s, thumb - QPoint(0, 103));
        QCOMPARE(s.value(), 50);
        Release(&s, thumb - QPoint(0, 103));
    }

    void keysAndWheelAsTheKnob() {
        QvSlider s;
        Horizontal(s);
        s.setValue(40);
        QTest::keyClick(&s, Qt::Key_Home);
        QCOMPARE(s.value(), 100);
        QTest::keyClick(&s, Qt::Key_End);
        QCOMPARE(s.value(), 0);
        QTest::keyClick(&s, Qt::Key_PageUp);
        QCOMPARE(s.value(), 20);
        QTest::keyClick(&s, Qt::Key_Right);
        QCOMPARE(s.value(), 21);
        uitest::Wheel(&s, -120);
        QCOMPARE(s.value(), 20);
    }

    void selectedPart() {
        QvSlider s;
        Horizontal(s);
        s.setSelectPosDeflate(1);
        s.setValue(0);
        QVERIFY(s.grab().size() == QSize(220, 20));  // nothing selected at the minimum
        QvSlider2 balance;
        Horizontal(balance);
        balance.setRange(-50, 50);
        balance.setSelectPos(0);
        balance.setValue(0);
        balance.setValue(25);
        QVERIFY(!balance.grab().isNull());
    }

    void valueTipShowsValuePlusDelta() {
        auto s = std::make_unique<QvSlider>();
        Horizontal(*s);
        s->setDelta(-10);
        s->setShowPercent(true);
        s->setValue(15);
        s->show();
        QVERIFY(QTest::qWaitForWindowExposed(s.get()));
        QCOMPARE(s->TipText(), QStringLiteral("5"));
        Move(s.get(), s->ThumbRect().center(), Qt::NoButton);  // hover over the thumb
        SSimpleToolTip* tip = SSimpleToolTip::Instance();
        QVERIFY(tip);
        QVERIFY(tip->isVisible());
        QCOMPARE(tip->Text(), QStringLiteral("5"));
        const QRect thumb(s->mapToGlobal(s->ThumbRect().topLeft()), s->ThumbRect().size());
        const QPoint expected(thumb.left() + (thumb.width() - 6 * 1 - 10) / 2,
                              thumb.top() + thumb.height() + 10);
        QCOMPARE(s->TipPos(), expected);
        QCOMPARE(tip->pos(), expected);
        QCOMPARE(tip->windowTitle(), QStringLiteral("simple tooltip"));

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(s.get(), &leave);
        QVERIFY(!tip->isVisible());
        QVERIFY(tip->Text().isEmpty());
    }

    void valueTipFollowsADragAndGoesOnRelease() {
        QvSlider s;
        Horizontal(s);
        s.setShowPercent(true);
        s.setDelta(3);
        s.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s));
        Press(&s, QPoint(110, 10));
        QCOMPARE(SSimpleToolTip::Instance()->Text(), QStringLiteral("53"));
        Move(&s, QPoint(120, 10));
        QCOMPARE(SSimpleToolTip::Instance()->Text(), QStringLiteral("57"));
        Release(&s, QPoint(120, 10));
        QVERIFY(!SSimpleToolTip::Instance()->isVisible());
    }

    void verticalTipStandsLeftOfTheThumb() {
        QvSlider s;
        Vertical(s);
        s.setValue(50);
        s.setDelta(-10);
        const QRect thumb(s.mapToGlobal(s.ThumbRect().topLeft()), s.ThumbRect().size());
        QCOMPARE(s.TipPos(),
                 QPoint(thumb.left() - 6 * 2 - 15, thumb.top() + thumb.height() / 2 - 11));
    }

    void noTipWithoutShowPercent() {
        QvSlider s;
        Horizontal(s);
        s.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s));
        Move(&s, s.ThumbRect().center(), Qt::NoButton);
        QVERIFY(!SSimpleToolTip::Instance()->isVisible());
    }

    void slider2TipAfterWheelAndGoesWithTheFocus() {
        QvSlider2 s;
        Horizontal(s);
        s.setShowPercent(true);
        s.setValue(10);
        s.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s));
        uitest::Wheel(&s, 120);
        QVERIFY(SSimpleToolTip::Instance()->isVisible());
        QCOMPARE(SSimpleToolTip::Instance()->Text(), QStringLiteral("11"));
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(&s, &out);
        QVERIFY(!SSimpleToolTip::Instance()->isVisible());
    }

    void theTipGoesWithTheLastSlider() {
        QVERIFY(!SSimpleToolTip::Instance());  // every slider of the earlier tests is gone
        auto a = std::make_unique<QvSlider>();
        auto b = std::make_unique<QvSlider2>();
        QVERIFY(SSimpleToolTip::Instance());
        a.reset();
        QVERIFY(SSimpleToolTip::Instance());
        b.reset();
        QVERIFY(!SSimpleToolTip::Instance());
    }
};

QTEST_MAIN(TestSlider)
#include "tst_slider.moc"
