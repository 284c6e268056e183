// The two-state buttons, the GIF player and its skin, and the draggable thumb.
#include <QBuffer>
#include <QSignalSpy>
#include <QTest>

#include "UiTestSupport.h"
#include "toolkit/Skin.h"
#include "toolkit/Timeline.h"
#include "widgets/QvCheckButton.h"
#include "widgets/SGifPlayer.h"
#include "widgets/SMoveThumb.h"

namespace {

// A GIF of 1 x 1 frames with the given delays in hundredths of a second.
QByteArray TinyGif(const QList<int>& delays) {
    QByteArray gif("GIF89a");
    auto le16 = [&gif](int v) {
        gif.append(char(v & 0xFF));
        gif.append(char((v >> 8) & 0xFF));
    };
    le16(1);
    le16(1);
    gif.append(char(0x80));  // two-colour global table
    gif.append(char(0));
    gif.append(char(0));
    gif.append(QByteArray::fromHex("00F6FF000000"));
    for (int delay : delays) {
        gif.append(QByteArray::fromHex("21F904"));
        gif.append(char(0x04));  // keep the frame
        le16(delay);
        gif.append(char(0));
        gif.append(char(0));
        gif.append(char(0x2C));
        le16(0);
        le16(0);
        le16(1);
        le16(1);
        gif.append(char(0));
        gif.append(QByteArray::fromHex("0202440100"));  // clear, pixel 0, end
    }
    gif.append(char(0x3B));
    return gif;
}

std::shared_ptr<SSkinGif> GifSkin(const QList<int>& delays) {
    auto skin = std::make_shared<SSkinGif>();
    skin->LoadFromData(TinyGif(delays));
    return skin;
}

}  // namespace

class TestButtons : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { uitest::InitUi(); }

    void checkWithoutAutoCheckOnlySendsTheCommand() {
        uitest::CRecordingHost host;
        auto* b = new QvCheckButton(&host);
        b->setObjectName(QStringLiteral("btn_mute"));
        b->resize(80, 28);
        toolkit::WireControls(&host);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, QPoint(70, 20));  // anywhere inside
        QVERIFY(!b->isChecked());
        QCOMPARE(host.events.size(), size_t(1));
        QCOMPARE(host.events[0].kind, toolkit::EventKind::Command);
        QCOMPARE(host.events[0].controlName, QStringLiteral("btn_mute"));
        QTest::keyClick(b, Qt::Key_Space);  // the space key still sends the command
        QVERIFY(!b->isChecked());
        QCOMPARE(host.events.size(), size_t(2));
        QTest::keyClick(b, Qt::Key_Return);  // other keys: nothing
        QCOMPARE(host.events.size(), size_t(2));
    }

    void checkWithAutoCheckToggles() {
        uitest::CRecordingHost host;
        auto* b = new QvCheckButton(&host);
        b->setAutoCheck(1);
        b->resize(80, 28);
        toolkit::WireControls(&host);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(b->isChecked());
        QTest::keyClick(b, Qt::Key_Space);
        QVERIFY(!b->isChecked());
        // Each toggle is a state change and a command.
        int commands = 0;
        int changes = 0;
        for (const auto& ev : host.events) {
            commands += ev.kind == toolkit::EventKind::Command;
            changes += ev.kind == toolkit::EventKind::StateChanged;
        }
        QCOMPARE(commands, 2);
        QCOMPARE(changes, 2);
    }

    void perStateTextTipAndColour() {
        QvCheckButton b;
        b.setMultitext(QStringLiteral("1"));
        b.setText1(QStringLiteral("静音"));
        b.setText2(QStringLiteral("已静音"));
        b.setMultitip(QStringLiteral("1"));
        b.setTip1(QStringLiteral("点击静音"));
        b.setTip2(QStringLiteral("点击取消静音"));
        b.setColortext1(Qt::white);
        b.setColortext2(QColor(0x00, 0xF6, 0xFF));
        QVERIFY(!b.TextColor().isValid());     // "multicolor" is off
        b.setMulticolor(QStringLiteral("1"));  // switching it on applies the current state's colour
        QCOMPARE(b.text(), QStringLiteral("静音"));
        QCOMPARE(b.toolTip(), QStringLiteral("点击静音"));
        QCOMPARE(b.TextColor(), QColor(Qt::white));
        b.setChecked(true);
        QCOMPARE(b.text(), QStringLiteral("已静音"));
        QCOMPARE(b.toolTip(), QStringLiteral("点击取消静音"));
        QCOMPARE(b.TextColor(), QColor(0x00, 0xF6, 0xFF));
        b.setText2(QStringLiteral("静音中"));  // applied at once: it belongs to the current state
        QCOMPARE(b.text(), QStringLiteral("静音中"));
        b.setText1(QStringLiteral("开声"));  // not the current state
        QCOMPARE(b.text(), QStringLiteral("静音中"));
        b.setMultitext(QStringLiteral("0"));
        b.setChecked(false);
        QCOMPARE(b.text(), QStringLiteral("静音中"));
    }

    void alignIsCentredByDefault() {
        QvCheckButton b;
        QCOMPARE(b.align(), Qt::AlignCenter);
        QvRadioButton r;
        QCOMPARE(r.align(), Qt::AlignCenter);
    }

    void radioAutoCheckChecksAndUnchecksItsGroup() {
        QWidget group;
        auto* a = new QvRadioButton(&group);
        auto* b = new QvRadioButton(&group);
        auto* manual = new QvRadioButton(&group);
        for (auto* r : {a, b, manual})
            r->resize(60, 28);
        a->setAutoCheck(1);
        b->setAutoCheck(1);
        group.show();
        group.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&group));
        QTest::mouseClick(a, Qt::LeftButton);
        QVERIFY(a->isChecked());
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(b->isChecked());
        QVERIFY(!a->isChecked());
        QTest::mouseClick(b, Qt::LeftButton);  // a checked radio stays checked
        QVERIFY(b->isChecked());
        QTest::mouseClick(manual, Qt::LeftButton);  // autoCheck 0: the page decides
        QVERIFY(!manual->isChecked());
        QVERIFY(b->isChecked());
        a->setFocus(Qt::TabFocusReason);  // gaining the focus checks an autoCheck radio
        QTRY_VERIFY(a->isChecked());
    }

    void gifFramesAndDelays() {
        auto skin = GifSkin({5, 0, 12});
        QCOMPARE(skin->FrameCount(), 3);
        QCOMPARE(skin->FrameDelay(0), 5);
        QCOMPARE(skin->FrameDelay(1), 0);
        QCOMPARE(skin->FrameDelay(2), 12);
        QCOMPARE(skin->FrameImage(0).format(), QImage::Format_ARGB32_Premultiplied);
        QVERIFY(skin->IsClass(QStringLiteral("skinani")));
        QVERIFY(skin->IsClass(QStringLiteral("gif")));
        SGifPlayer player;
        player.SetSkin(skin);
        QCOMPARE(player.FrameTime(0), 50);
        QCOMPARE(player.FrameTime(1), 90);  // a zero delay in a multi-frame GIF lasts 90 ms
        QCOMPARE(player.FrameTime(2), 120);
    }

    void gifPlayerAnimatesWhileShown() {
        SGifPlayer player;
        player.SetSkin(GifSkin({2, 0}));
        QCOMPARE(player.sizeHint(), QSize(1, 1));
        QVERIFY(!player.IsAnimating());
        player.show();
        QVERIFY(player.IsAnimating());
        toolkit::CTimeline::Instance().SetPaused(true);
        QCOMPARE(player.Countdown(), 20);
        player.OnNextFrame();
        QCOMPARE(player.FrameIndex(), 0);
        player.OnNextFrame();  // 20 ms: the next frame
        QCOMPARE(player.FrameIndex(), 1);
        QCOMPARE(player.Countdown(), 90);
        for (int i = 0; i < 9; ++i)
            player.OnNextFrame();
        QCOMPARE(player.FrameIndex(), 0);  // round again
        toolkit::CTimeline::Instance().SetPaused(false);
        player.hide();
        QVERIFY(!player.IsAnimating());
    }

    void oneFrameGifIsDrawnButNeverAnimated() {
        SGifPlayer player;
        player.SetSkin(GifSkin({0}));
        QCOMPARE(player.FrameTime(0), 0);
        player.show();
        QVERIFY(!player.IsAnimating());
        QVERIFY(!player.grab().isNull());
    }

    void gifSkinFromTheSkinTable() {
        toolkit::SkinPtr skin = toolkit::GetSkin(QStringLiteral("skin_Loading_gif"));
        QVERIFY(skin);
        QVERIFY(skin->IsClass(QStringLiteral("skinani")));
        QCOMPARE(skin->States(), 8);
        QCOMPARE(skin->Size(), QSize(32, 32));
        SGifPlayer player;
        player.setSkin(QStringLiteral("skin_Loading_gif"));
        QCOMPARE(player.FrameTime(0), 80);
        // A skin of another kind is ignored.
        QTest::ignoreMessage(QtWarningMsg,
                             "SGifPlayer: skin skin_knob_bg is not a multi-frame skin");
        player.setSkin(QStringLiteral("skin_knob_bg"));
        QCOMPARE(player.skin(), QStringLiteral("skin_Loading_gif"));
    }

    void missingGifLeavesNoFrames() {
        SSkinGif skin;
        QTest::ignoreMessage(QtWarningMsg, "SSkinGif: resource GIF:gif_Missing not found");
        QVERIFY(!skin.LoadFromResource(QStringLiteral("GIF:gif_Missing")));
        QCOMPARE(skin.FrameCount(), 0);
    }

    void thumbLayoutAndMove() {
        QWidget pad;
        pad.resize(200, 100);
        auto* t = new SMoveThumb(&pad);
        t->resize(16, 16);
        t->setXFloat(0.25);
        t->setYFloat(0.333);
        t->LayoutIn(QRect(10, 20, 150, 60));
        // left = 10 + round(150 * 0.25) = 48 (37.5 rounds up); top = 20 + round(19.98) = 40
        QCOMPARE(t->pos(), QPoint(48, 40));
        t->MoveCentreTo(100, 50);
        QCOMPARE(t->geometry(), QRect(92, 42, 16, 16));
        QVERIFY(qAbs(t->xFloat() - (92 - 10) / 150.0) < 1e-9);
        QVERIFY(qAbs(t->yFloat() - (42 - 20) / 60.0) < 1e-9);
    }

    void thumbRimColourWrapsEachChannel() {
        SMoveThumb t;
        QCOMPARE(t.centerColor(), QColor(200, 200, 200));
        QCOMPARE(t.RimColor(), QColor(1, 1, 1));  // 200 + 57 wraps within 8 bits
        t.setCenterColor(QColor(0, 100, 250, 128));
        QCOMPARE(t.RimColor(), QColor(57, 157, 51, 128));
    }

    void thumbDragRaisesItsEvent() {
        uitest::CRecordingHost host;
        host.resize(200, 100);
        auto* t = new SMoveThumb(&host);
        t->setObjectName(QStringLiteral("thumb_a"));
        toolkit::SetControlId(t, 8600);
        t->resize(16, 16);
        t->move(50, 40);
        uitest::Press(t, QPoint(4, 6));
        QVERIFY(t->IsDragging());
        uitest::Move(t, QPoint(14, 26));  // 10 right, 20 down
        QCOMPARE(host.events.size(), size_t(1));
        const toolkit::ControlEvent& ev = host.events[0];
        QCOMPARE(ev.EventId(), 29100);
        QCOMPARE(QString::fromLatin1(ev.EventName()), QStringLiteral("on_thumb_moving"));
        QCOMPARE(ev.controlId, 8600);
        QCOMPARE(ev.point, QPoint(60, 60));
        QCOMPARE(t->pos(), QPoint(50, 40));  // the receiver moves it, not the thumb
        t->setCanYMove(0);
        uitest::Move(t, QPoint(24, 36));
        QCOMPARE(host.events.back().point, QPoint(70, 40));
        uitest::Release(t, QPoint(24, 36));
        QVERIFY(!t->IsDragging());
    }
};

QTEST_MAIN(TestButtons)
#include "tst_buttons.moc"
