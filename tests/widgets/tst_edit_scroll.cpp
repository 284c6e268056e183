// SEdit2 (step events 29101) and SScrollText (marquee).
#include <QSignalSpy>
#include <QScopeGuard>
#include <QTest>

#include "UiTestSupport.h"
#include "toolkit/Timeline.h"
#include "widgets/SEdit2.h"
#include "widgets/SScrollText.h"

class TestEditAndScroll : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { uitest::InitUi(); }

    void editSteps_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("wheel");
        QTest::addColumn<bool>("wantReturn");
        QTest::addColumn<QList<int>>("steps");
        QTest::newRow("Up") << int(Qt::Key_Up) << 0 << false << QList<int>{1};
        QTest::newRow("Down") << int(Qt::Key_Down) << 0 << false << QList<int>{-1};
        QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << false << QList<int>{0};
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << 0 << false << QList<int>{0};
        QTest::newRow("Enter in a want-return edit")
            << int(Qt::Key_Return) << 0 << true << QList<int>{};
        QTest::newRow("Up in a want-return edit") << int(Qt::Key_Up) << 0 << true << QList<int>{1};
        QTest::newRow("a digit") << int(Qt::Key_5) << 0 << false << QList<int>{};
        QTest::newRow("wheel away") << 0 << 120 << false << QList<int>{1};
        QTest::newRow("wheel towards") << 0 << -120 << false << QList<int>{-1};
    }

    void editSteps() {
        QFETCH(int, key);
        QFETCH(int, wheel);
        QFETCH(bool, wantReturn);
        QFETCH(QList<int>, steps);
        uitest::CRecordingHost host;
        auto* edit = new SEdit2(&host);
        edit->setObjectName(QStringLiteral("edit_fader"));
        toolkit::SetControlId(edit, 8200);
        edit->setWantReturn(wantReturn);
        edit->setText(QStringLiteral("12"));
        if (key) {
            QTest::keyClick(edit, Qt::Key(key));
        } else {
            uitest::Wheel(edit, wheel);
        }
        QList<int> raised;
        for (const auto& ev : host.events) {
            QCOMPARE(ev.kind, toolkit::EventKind::ValueChanging);
            QCOMPARE(ev.EventId(), 29101);
            QCOMPARE(QString::fromLatin1(ev.EventName()), QStringLiteral("on_edit_valuechanging"));
            QCOMPARE(ev.controlId, 8200);
            QCOMPARE(ev.controlName, QStringLiteral("edit_fader"));
            raised.append(ev.value);
        }
        QCOMPARE(raised, steps);
    }

    void theEditSeesTheKeyFirst() {
        SEdit2 edit;
        edit.setNumber(true);
        QSignalSpy spy(&edit, &SEdit2::valueChanging);
        QTest::keyClicks(&edit, QStringLiteral("-4a2"));
        QCOMPARE(edit.text(), QStringLiteral("-42"));  // digits only
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 0);
    }

    void doubleClickSelectsAll() {
        SEdit2 edit;
        edit.setText(QStringLiteral("混响 35"));
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QTest::mouseDClick(&edit, Qt::LeftButton, Qt::NoModifier, QPoint(4, edit.height() / 2));
        QCOMPARE(edit.selectedText(), QStringLiteral("混响 35"));
    }

    void classTest() {
        SEdit2 edit;
        QVERIFY(toolkit::IsClass(&edit, "edit2"));
        QVERIFY(toolkit::IsClass(&edit, "edit"));
        QVERIFY(toolkit::IsClass(&edit, "richedit"));
    }

    void narrowTextDoesNotScroll() {
        QWidget parent;
        auto* t = new SScrollText(&parent);
        t->setText(QStringLiteral("短"));
        t->setTextAlign(QStringLiteral("right"));
        t->setGeometry(0, 0, 200, 24);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QCOMPARE(t->TextWidth(), 0);
        QCOMPARE(t->Offset(), 0);
        QVERIFY(!t->IsAnimating());
        QCOMPARE(t->AlignFlags(), Qt::AlignRight | Qt::AlignVCenter);
    }

    void scrollsOnlyWhenWiderThanTheControl() {
        QWidget parent;
        auto* t = new SScrollText(&parent);
        const QString text = QStringLiteral("正在播放：夜空中最亮的星");
        t->setText(text);
        const int w = t->fontMetrics().horizontalAdvance(text);
        t->setGeometry(0, 0, w, 24);  // exactly as wide: fits
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QCOMPARE(t->TextWidth(), 0);
        QVERIFY(!t->IsAnimating());
        t->resize(w - 1, 24);  // one pixel narrower than the text: scrolls
        QCOMPARE(t->TextWidth(), w);
        QCOMPARE(t->Offset(), 0);
        QVERIFY(t->IsAnimating());
        t->resize(w + 40, 24);
        QVERIFY(!t->IsAnimating());
    }

    void rollType1StartsBeyondTheRightEdge() {
        QWidget parent;
        auto* t = new SScrollText(&parent);
        t->setRolltype(1);
        t->setText(QStringLiteral("音效包已更新：新增三款特效，欢迎试用"));
        t->setGeometry(0, 0, 60, 24);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QCOMPARE(t->Offset(), -60);
        QVERIFY(t->IsAnimating());
    }

    void stepsEverySpeedMillisecondsOfCountdown() {
        // The test drives the ticks. Paused before the window shows: waiting for it to be
        // exposed runs the event loop, and on a busy machine a real tick came first.
        toolkit::CTimeline::Instance().SetPaused(true);
        const QScopeGuard resume([] { toolkit::CTimeline::Instance().SetPaused(false); });
        QWidget parent;
        auto* t = new SScrollText(&parent);
        t->setSpeed(20);
        t->setText(QStringLiteral("一段比控件宽得多的文字"));
        t->setGeometry(0, 0, 40, 24);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QCOMPARE(t->Countdown(), 20);
        t->OnNextFrame();  // 10
        t->OnNextFrame();  // 0: still not below zero
        QCOMPARE(t->Offset(), 0);
        t->OnNextFrame();  // -10: one pixel, countdown back to 20
        QCOMPARE(t->Offset(), 1);
        QCOMPARE(t->Countdown(), 20);
        for (int i = 0; i < 3 * (t->TextWidth() - 1); ++i) {
            t->OnNextFrame();
        }
        QCOMPARE(t->Offset(), t->TextWidth());  // at the end of the text
        for (int i = 0; i < 3; ++i)
            t->OnNextFrame();
        QCOMPARE(t->Offset(), 0);  // rolltype 0 starts again without a gap
        t->setRolltype(1);
        QCOMPARE(t->Offset(), -40);
    }

    void hidingStopsAndShowingStarts() {
        QWidget parent;
        auto* t = new SScrollText(&parent);
        t->setText(QStringLiteral("一段比控件宽得多的文字"));
        t->setGeometry(0, 0, 40, 24);
        QVERIFY(!t->IsAnimating());  // not visible yet
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QVERIFY(t->IsAnimating());
        t->hide();
        QVERIFY(!t->IsAnimating());
        t->show();
        QVERIFY(t->IsAnimating());
        delete t;
        QVERIFY(!toolkit::CTimeline::Instance().IsRunning());
    }

    void newTextIsMeasuredAgain() {
        QWidget parent;
        auto* t = new SScrollText(&parent);
        t->setGeometry(0, 0, 80, 24);
        t->setText(QStringLiteral("短"));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QVERIFY(!t->IsAnimating());
        // Through the base class too: QLabel::setText is not virtual.
        static_cast<QLabel*>(t)->setText(QStringLiteral("现在是一段比八十像素宽得多的文字"));
        QVERIFY(t->IsAnimating());
        QVERIFY(t->TextWidth() > 80);
    }

    void badTextAlignKeepsTheOldValue() {
        SScrollText t;
        t.setTextAlign(QStringLiteral("bottom"));
        QTest::ignoreMessage(QtWarningMsg, "SScrollText: bad textAlign \"middle\"");
        t.setTextAlign(QStringLiteral("middle"));
        QCOMPARE(t.textAlign(), QStringLiteral("bottom"));
        QCOMPARE(t.AlignFlags(), Qt::AlignLeft | Qt::AlignBottom);
    }
};

QTEST_MAIN(TestEditAndScroll)
#include "tst_edit_scroll.moc"
