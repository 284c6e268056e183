// The send dialog over the in-process virtual card: what it shows, how it refuses to be closed,
// and that it ends by itself, with the failure's message where there is one.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QTest>
#include <fstream>

#include "../core/TempDir.h"
#include "ClipTestMp3.h"
#include "QVAudioProtocol.h"
#include "VirtualCardServer.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"
#include "sound/ui/SendWindow.h"
#include "toolkit/MessageBox.h"
#include "toolkit/QtDispatcher.h"
#include "toolkit/SProgress.h"
#include "toolkit/Toolkit.h"
#include "widgets/Widgets.h"

using namespace sound::clip;

class TestSendWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void sendsAndEndsByItself();
    void refusesEveryWayOfBeingClosed();
    void aClipThatDoesNotDecodeEndsWithItsMessage();

private:
    std::u16string WriteFile(const std::vector<uint8_t>& bytes) {
        const auto p = dir.Path() / ("c" + std::to_string(++files) + ".mp3");
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p.u16string();
    }

    TempDir dir;
    int files = 0;
    std::atomic<int> loading{0};
    toolkit::CQtDispatcher* dispatcher = nullptr;
    std::unique_ptr<vcard::CVirtualCardServer> card;
    std::unique_ptr<CQVAudioProtocol> protocol;
    std::unique_ptr<CHidDeviceBuilder> builder;
};

void TestSendWindow::initTestCase() {
    toolkit::Initialize();
    widgets::RegisterWidgets();
    dispatcher = new toolkit::CQtDispatcher(this);
    ccm_util::InstallDispatcher(dispatcher);
    vcard::ServerOptions options;
    options.socketPath = dir.Path() / "#VID_2B53&PID_0041#0";
    card = std::make_unique<vcard::CVirtualCardServer>(options);
    QVERIFY(card->Start());
    protocol = std::make_unique<CQVAudioProtocol>();
    builder = std::make_unique<CHidDeviceBuilder>();
    QVERIFY(builder->CreateManager(protocol.get()));
    QVERIFY(builder->OpenDevicePath(card->DevicePath()));
    sound::ui::SetSendWindowContext({protocol.get(), &loading, {}});
}

void TestSendWindow::cleanupTestCase() {
    builder.reset();
    protocol.reset();
    card.reset();
    ccm_util::InstallDispatcher(nullptr);
}

void TestSendWindow::sendsAndEndsByItself() {
    // Long enough that the decoding tip is still up when a busy UI thread next looks.
    const std::u16string clip = WriteFile(testclip::Mp3Tone(4.0, 44100, 2));
    QStringList tips;
    bool sawProgress = false;
    int secondRequest = 0;
    QTimer watch;
    watch.setInterval(1);
    connect(&watch, &QTimer::timeout, [&] {
        auto* w = qobject_cast<sound::ui::SendWindow*>(QApplication::activeModalWidget());
        if (!w)
            return;
        if (auto* tip = w->FindChildByName<QLabel>(QStringLiteral("txt_tip"));
            tip && tip->isVisible() && !tips.contains(tip->text()))
            tips << tip->text();
        auto* bar = w->FindChildByName<SProgress>(QStringLiteral("mood_effect"));
        sawProgress = sawProgress || (bar && bar->isVisible() && bar->value() > 0);
        if (!secondRequest)  // a second request while the dialog is open is ignored
            secondRequest = sound::ui::RunSendWindow(nullptr, clip, false, 1, 100);
        QCOMPARE(w->windowTitle(), QStringLiteral("数据传输中，请稍等"));
    });
    watch.start();
    QCOMPARE(sound::ui::RunSendWindow(nullptr, clip, false, 2, 100), 1);
    QCOMPARE(secondRequest, -1);
    QVERIFY(tips.contains(QStringLiteral("正在解码特效文件...")));
    QVERIFY(sawProgress);
    QCOMPARE(loading.load(), 0);
    bool complete = false;
    card->Inspect([&](const vcard::CCardModel& m) { complete = m.Clips().Slot(2).Complete(); });
    QVERIFY(complete);
    QCOMPARE(sound::ui::RunSendWindow(nullptr, clip, false, 5, 100), -1);  // no such slot
}

void TestSendWindow::refusesEveryWayOfBeingClosed() {
    sound::ui::SendWindow w({u"x.mp3", false, 0, 100}, *protocol, loading, nullptr);
    QCOMPARE(loading.load(), 1);
    QCOMPARE(w.size(), QSize(320, 150));
    w.show();
    QVERIFY(!w.close());
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&w, &esc);
    for (int id : {1, 2}) {
        toolkit::ControlEvent ev;
        ev.controlId = id;
        QVERIFY(w.HandleControlEvent(ev));
    }
    toolkit::ControlEvent byName;
    byName.controlName = QStringLiteral("btn_close");
    QVERIFY(w.HandleControlEvent(byName));
    QVERIFY(w.isVisible());
}

void TestSendWindow::aClipThatDoesNotDecodeEndsWithItsMessage() {
    const std::u16string text = WriteFile(std::vector<uint8_t>(3000, 'x'));
    QString message;
    QTimer box;
    box.setInterval(5);
    connect(&box, &QTimer::timeout, [&] {
        if (auto* b = qobject_cast<toolkit::CMessageBox*>(QApplication::activeModalWidget())) {
            message = b->Caption() + QLatin1Char('|') + b->Text();
            b->EndDialog(toolkit::IDOK);
        }
    });
    box.start();
    QCOMPARE(sound::ui::RunSendWindow(nullptr, text, false, 0, 100), 0);
    QCOMPARE(message, QStringLiteral("提示|特效解码失败"));
    bool touched = true;
    card->Inspect([&](const vcard::CCardModel& m) { touched = m.Clips().Slot(0).announced; });
    QVERIFY(!touched);
    QCOMPARE(loading.load(), 0);
}

QTEST_MAIN(TestSendWindow)
#include "tst_send_window.moc"
