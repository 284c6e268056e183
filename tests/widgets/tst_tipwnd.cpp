// CTipWnd: one window at a time, the last tip's text and duration, anchors, the
// warning mark, and the calls that show nothing.
#include <QLabel>
#include <QTest>

#include "UiTestSupport.h"
#include "widgets/CTipWnd.h"

namespace {
int TipWindows() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<CTipWnd*>(w) && w->isVisible()) {
            ++n;
        }
    }
    return n;
}
}  // namespace

class TestTipWnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { uitest::InitUi(); }

    void cleanup() {
        CTipWnd::Destroy();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!CTipWnd::Instance());
    }

    void twoTipsInQuickSuccession() {
        CTipWnd::ShowTip(300, 300, 4, QStringLiteral("第一条"), 100, false);
        CTipWnd* first = CTipWnd::Instance();
        QVERIFY(first);
        CTipWnd::ShowTip(320, 310, 4, QStringLiteral("第二条提示"), 600, true);
        QCOMPARE(CTipWnd::Instance(), first);  // the window is reused
        QCOMPARE(TipWindows(), 1);
        QCOMPARE(first->Text(), QStringLiteral("第二条提示"));
        QCOMPARE(first->Duration(), 600);
        QVERIFY(first->IsWarning());
        QVERIFY(first->IsTimerRunning(CTipWnd::kTimerId));
        // The first duration has passed; the second, counted from the second call, has not.
        QTest::qWait(300);
        QCOMPARE(CTipWnd::Instance(), first);
        QVERIFY(first->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!CTipWnd::Instance(), 2000);
        QCOMPARE(TipWindows(), 0);
    }

    void aTipAfterTheTimerMakesANewWindow() {
        CTipWnd::ShowTip(100, 100, 0, QStringLiteral("短"), 20, false);
        QTRY_VERIFY_WITH_TIMEOUT(!CTipWnd::Instance(), 1000);
        CTipWnd::ShowTip(100, 100, 0, QStringLiteral("再来"), 2000, false);
        QVERIFY(CTipWnd::Instance());
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("再来"));
    }

    void anchors_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QPoint>("topLeftMinusAnchor");  // in units of the window's size
        QTest::newRow("0 top-left") << 0 << QPoint(0, 0);
        QTest::newRow("1 above") << 1 << QPoint(0, -2);
        QTest::newRow("2 left") << 2 << QPoint(-2, 0);
        QTest::newRow("3 above left") << 3 << QPoint(-2, -2);
        QTest::newRow("4 centred below") << 4 << QPoint(-1, 0);
    }

    void anchors() {
        QFETCH(int, kind);
        QFETCH(QPoint, topLeftMinusAnchor);
        CTipWnd::ShowTip(400, 300, kind, QStringLiteral("锚点"), 2000, false);
        CTipWnd* tip = CTipWnd::Instance();
        QVERIFY(tip);
        const QSize s = tip->size();
        QVERIFY(s.width() > 40 && s.height() >= 24 + 25);  // padding 20,10,20,15 around the text
        const QPoint expected(400 + topLeftMinusAnchor.x() * s.width() / 2,
                              300 + topLeftMinusAnchor.y() * s.height() / 2);
        QCOMPARE(tip->pos(), expected);
        QCOMPARE(tip->AnchorKind(), kind);
        QVERIFY(!tip->IsWarning());
    }

    void longTextWrapsAtThreeHundredPixels() {
        const QString text = QStringLiteral(
            "这是一条很长的提示文字，用来检查提示窗口的文字在超过三百像素之后会换行显示，而不是无限"
            "变宽。");
        CTipWnd::ShowTip(400, 300, 4, text, 2000, false);
        auto* label = CTipWnd::Instance()->FindChildByName<QLabel>(QStringLiteral("txt_tip"));
        QVERIFY(label);
        QCOMPARE(label->width(), 300);
        QVERIFY(label->height() > label->fontMetrics().height() * 2 - 2);
    }

    void showTipOnWindowCentresOnTheWindow() {
        QWidget host;
        host.setGeometry(100, 80, 400, 200);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        CTipWnd::ShowTipOnWindow(&host, QStringLiteral("已保存"), false, 2000);
        CTipWnd* tip = CTipWnd::Instance();
        QVERIFY(tip);
        QCOMPARE(tip->Anchor(), host.mapToGlobal(QPoint(200, 100)));
        QCOMPARE(tip->AnchorKind(), 4);
        QCOMPARE(tip->Duration(), 2000);
    }

    void emptyTextShowsNothing() {
        CTipWnd::ShowTipOnWindow(nullptr, QString(), true, 2000);
        QVERIFY(!CTipWnd::Instance());
        CTipWnd::ShowTipAt(QString(), 10, 10);
        QVERIFY(!CTipWnd::Instance());

        CTipWnd::ShowTip(200, 200, 0, QStringLiteral("保留"), 2000, false);
        CTipWnd* tip = CTipWnd::Instance();
        const QPoint pos = tip->pos();
        CTipWnd::ShowTipOnWindow(nullptr, QString(), true, 500);
        QCOMPARE(CTipWnd::Instance(), tip);  // the visible tip is left alone
        QCOMPARE(tip->Text(), QStringLiteral("保留"));
        QCOMPARE(tip->Duration(), 2000);
        QCOMPARE(tip->pos(), pos);
        QVERIFY(tip->isVisible());
    }

    void showTipAtIsAWarningForTwoSeconds() {
        CTipWnd::ShowTipAt(QStringLiteral("此热键已经被占用，设置热键失败！"), 250, 260);
        CTipWnd* tip = CTipWnd::Instance();
        QVERIFY(tip);
        QVERIFY(tip->IsWarning());
        QCOMPARE(tip->Duration(), 2000);
        QCOMPARE(tip->Anchor(), QPoint(250, 260));
        QCOMPARE(tip->AnchorKind(), 4);
    }

    void theTipDoesNotTakeTheFocus() {
        QWidget host;
        host.show();
        host.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        CTipWnd::ShowTip(10, 10, 0, QStringLiteral("不抢焦点"), 2000, false);
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::activeWindow(), &host);
        QVERIFY(CTipWnd::Instance()->windowFlags() & Qt::WindowStaysOnTopHint);
    }
};

QTEST_MAIN(TestTipWnd)
#include "tst_tipwnd.moc"
