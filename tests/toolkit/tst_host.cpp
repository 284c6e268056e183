// The toolkit's host windows: layouts and control lookup, control events and their routing,
// window timers, the receiving side of the message poster with the Qt dispatcher, and the UI
// thread's message filters.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QThread>
#include <QTest>
#include <atomic>
#include <thread>

#include "UiTestSupport.h"
#include "ccm_util/Dispatcher.h"
#include "toolkit/Layouts.h"
#include "toolkit/MessageLoop.h"
#include "toolkit/QtDispatcher.h"
#include "toolkit/WidgetFactory.h"

using toolkit::ControlEvent;
using toolkit::EventKind;

namespace {

constexpr uint32_t UM_NOTIFY_MAIN = 1125;

class CTestWindow : public toolkit::CHostWindow {
public:
    explicit CTestWindow(const QString& layout = QString()) : CHostWindow(layout) {}
    QList<int> timers;
    QList<uint32_t> messages;
    QThread* messageThread = nullptr;

protected:
    void OnTimer(int id) override {
        timers.append(id);
        CHostWindow::OnTimer(id);
    }
    bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM w, ccm_util::LPARAM l) override {
        messages.append(msg);
        messageThread = QThread::currentThread();
        return CHostWindow::OnWindowMessage(msg, w, l);
    }
};

}  // namespace

class TestHost : public QObject {
    Q_OBJECT

    toolkit::CQtDispatcher* m_dispatcher = nullptr;

private slots:
    void initTestCase() {
        uitest::InitUi();
        m_dispatcher = new toolkit::CQtDispatcher(this);
        ccm_util::InstallDispatcher(m_dispatcher);
    }
    void cleanupTestCase() { ccm_util::InstallDispatcher(nullptr); }

    void layoutsAreRegisteredByName() {
        for (const char* name : {"XML_MSGBOX", "XML_TOOLTIP", "XML_INPUTDLG", "XML_HOTKEYDLG"}) {
            QVERIFY2(toolkit::HasLayout(QString::fromLatin1(name)), name);
        }
        QVERIFY(toolkit::HasLayout(QStringLiteral("LAYOUT:XML_MSGBOX")));
        QVERIFY(toolkit::HasLayout(QStringLiteral("layout:XML_MSGBOX")));
        QVERIFY(!toolkit::HasLayout(QStringLiteral("LAYOUT:XML_NOTHING")));
        QWidget root;
        QVERIFY(!toolkit::BuildLayout(QStringLiteral("XML_NOTHING"), &root));
        QTest::ignoreMessage(QtWarningMsg, "toolkit: layout XML_NOTHING is not registered");
        CTestWindow missing(QStringLiteral("XML_NOTHING"));
        QVERIFY(missing.children().size() <= 1);  // only its timers
    }

    void lookupByNameAndId() {
        CTestWindow w(QStringLiteral("LAYOUT:XML_MSGBOX"));
        QCOMPARE(w.objectName(), QStringLiteral("XML_MSGBOX"));
        auto* ok = w.FindChildByName<QPushButton>(QStringLiteral("btnOK"));
        QVERIFY(ok);
        QCOMPARE(toolkit::ControlId(ok), 1);
        QCOMPARE(w.FindChildByID<QPushButton>(1), ok);
        // btn_close and btnCancel both carry id 2; the search finds the first breadth first.
        QVERIFY(w.FindChildByID(2));
        QVERIFY(!w.FindChildByID(777));
        QVERIFY(!w.FindChildByName<QLabel>(QStringLiteral("btnOK")));  // a name of another class
        QVERIFY(toolkit::IsClass(ok, "button"));
        QVERIFY(toolkit::IsClass(w.FindChildByName(QStringLiteral("msgtext")), "text"));
    }

    void widgetClassesByTag() {
        // The program's order of registration.
        const QStringList tags = toolkit::RegisteredWidgetClasses();
        QVERIFY(tags.indexOf(QStringLiteral("qvprogress")) <
                tags.indexOf(QStringLiteral("qvslider")));
        QVERIFY(tags.indexOf(QStringLiteral("qvprogressex1")) <
                tags.indexOf(QStringLiteral("gifplayer")));
        QVERIFY(tags.indexOf(QStringLiteral("gifplayer")) <
                tags.indexOf(QStringLiteral("scrolltext")));
        QWidget parent;
        QWidget* knob = toolkit::CreateWidget(QStringLiteral("qvrotaryknob"), &parent);
        QVERIFY(knob);
        QCOMPARE(knob->metaObject()->className(), "QvRotaryKnob");
        QCOMPARE(knob->parentWidget(), &parent);
        QVERIFY(!toolkit::CreateWidget(QStringLiteral("nosuchtag"), &parent));
    }

    void eventsRouteByNameThenIdThenRangeThenAny() {
        CTestWindow w;
        QStringList hits;
        auto& r = w.Events();
        r.OnAny(EventKind::Command,
                [&](const ControlEvent& e) { hits << QStringLiteral("any:%1").arg(e.controlId); });
        r.OnRange(EventKind::Command, 14000, 27999, [&](const ControlEvent& e) {
            hits << QStringLiteral("pad:%1").arg(e.controlId);
        });
        r.OnCommand(8012, [&] { hits << QStringLiteral("id"); });
        r.OnCommand(QStringLiteral("btn_close"), [&] { hits << QStringLiteral("name"); });
        auto send = [&](int id, const QString& name, EventKind kind = EventKind::Command) {
            ControlEvent e;
            e.kind = kind;
            e.controlId = id;
            e.controlName = name;
            return w.HandleControlEvent(e);
        };
        QVERIFY(send(8012, QStringLiteral("btn_close")));  // the name wins
        QVERIFY(send(8012, QStringLiteral("other")));
        QVERIFY(send(14005, QString()));
        QVERIFY(send(5, QString()));
        QVERIFY(!send(8012, QStringLiteral("btn_close"), EventKind::SliderPos));  // another kind
        QCOMPARE(hits, (QStringList{QStringLiteral("name"), QStringLiteral("id"),
                                    QStringLiteral("pad:14005"), QStringLiteral("any:5")}));
    }

    void standardControlsRaiseEvents() {
        uitest::CRecordingHost host;
        auto* button = new QPushButton(&host);
        button->setObjectName(QStringLiteral("btn_apply"));
        toolkit::SetControlId(button, 8401);
        auto* check = new QCheckBox(&host);
        check->setObjectName(QStringLiteral("chk_auto"));
        auto* combo = new QComboBox(&host);
        combo->addItems({QStringLiteral("一"), QStringLiteral("二")});
        auto* edit = new QLineEdit(&host);
        edit->setObjectName(QStringLiteral("edit_name"));
        auto* slider = new QSlider(Qt::Horizontal, &host);
        auto* menuTarget = new QLabel(&host);
        menuTarget->setObjectName(QStringLiteral("pad"));
        menuTarget->setContextMenuPolicy(Qt::CustomContextMenu);
        toolkit::WireControls(&host);
        toolkit::WireControls(&host);  // twice: still one event per action
        host.show();
        QVERIFY(QTest::qWaitForWindowActive(&host));

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(host.events.size(), size_t(1));
        QCOMPARE(host.events[0].kind, EventKind::Command);
        QCOMPARE(host.events[0].controlId, 8401);
        QCOMPARE(host.events[0].controlName, QStringLiteral("btn_apply"));
        QCOMPARE(host.events[0].sender.data(), button);

        host.events.clear();
        check->setChecked(true);
        QCOMPARE(host.events.size(), size_t(1));
        QCOMPARE(host.events[0].kind, EventKind::StateChanged);
        QCOMPARE(host.events[0].value, 1);

        host.events.clear();
        emit combo->activated(1);
        QCOMPARE(host.events.size(), size_t(1));
        QCOMPARE(host.events[0].kind, EventKind::ComboSelection);
        QCOMPARE(host.events[0].value, 1);

        host.events.clear();
        slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(host.events.size(), size_t(1));
        QCOMPARE(host.events[0].kind, EventKind::SliderPos);
        QCOMPARE(host.events[0].value, 10);
        slider->setValue(50);  // set by the program: no event
        QCOMPARE(host.events.size(), size_t(1));

        host.events.clear();
        emit menuTarget->customContextMenuRequested(QPoint(3, 4));
        QCOMPARE(host.events.size(), size_t(1));
        QCOMPARE(host.events[0].kind, EventKind::ContextMenu);
        QCOMPARE(host.events[0].point, menuTarget->mapToGlobal(QPoint(3, 4)));

        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        host.events.clear();
        button->setFocus();
        QTRY_VERIFY(!host.events.empty());
        QCOMPARE(host.events.size(), size_t(1));
        QCOMPARE(host.events[0].kind, EventKind::KillFocus);
        QCOMPARE(host.events[0].controlName, QStringLiteral("edit_name"));
    }

    void unhandledEventsGoToTheOuterWindow() {
        CTestWindow outer;
        auto* inner = new CTestWindow;
        inner->setParent(&outer);
        auto* button = new QPushButton(inner);
        button->setObjectName(QStringLiteral("btn_x"));
        int innerHits = 0;
        int outerHits = 0;
        inner->Events().OnCommand(QStringLiteral("btn_y"), [&] { ++innerHits; });
        outer.Events().OnCommand(QStringLiteral("btn_x"), [&] { ++outerHits; });
        QVERIFY(toolkit::RaiseControlEvent(button, EventKind::Command));
        QCOMPARE(innerHits, 0);
        QCOMPARE(outerHits, 1);
        QVERIFY(!toolkit::RaiseControlEvent(button, EventKind::SliderPos, 3));
    }

    void eventsStayInTheirTopLevelWindow() {
        CTestWindow owner;
        int ownerHits = 0;
        owner.Events().OnAny(EventKind::Command, [&](const ControlEvent&) { ++ownerHits; });
        toolkit::CHostDialog dialog(QStringLiteral("XML_MSGBOX"), &owner);
        auto* text = dialog.FindChildByName(QStringLiteral("msgtext"));
        QVERIFY(!toolkit::RaiseControlEvent(text, EventKind::Command));  // the dialog ignores it
        QCOMPARE(ownerHits, 0);
    }

    void windowTimersById() {
        CTestWindow w;
        int flushes = 0;
        w.OnTimerId(1000, [&] {
            ++flushes;
            w.KillTimer(1000);  // a one-shot flush, as the workspace does
        });
        w.SetTimer(1000, 20);
        w.SetTimer(1007, 30);
        QVERIFY(w.IsTimerRunning(1000));
        QTRY_VERIFY(w.timers.contains(1000) && w.timers.contains(1007));
        QCOMPARE(flushes, 1);
        QVERIFY(!w.IsTimerRunning(1000));
        QVERIFY(w.IsTimerRunning(1007));
        w.KillTimer(1007);
        const int count = int(w.timers.size());
        QTest::qWait(80);
        QCOMPARE(int(w.timers.size()), count);
    }

    void restartingATimerDelaysIt() {
        CTestWindow w;
        w.SetTimer(1, 120);
        QTest::qWait(80);
        w.SetTimer(1, 120);  // restarted: nothing at the first deadline
        QTest::qWait(80);
        QVERIFY(w.timers.isEmpty());
        QTRY_COMPARE(w.timers, QList<int>{1});
    }

    void postedMessageReachesTheWindowOnTheUiThread() {
        CTestWindow w;
        ccm_util::WPARAM got = 0;
        w.OnMessageId(UM_NOTIFY_MAIN, [&](ccm_util::WPARAM wp, ccm_util::LPARAM) { got = wp; });
        const ccm_util::WindowHandle handle = w.Handle();
        std::atomic<bool> posted{false};
        std::thread worker([&] { posted = ccm_util::PostMessage(handle, UM_NOTIFY_MAIN, 5, 0); });
        worker.join();
        QVERIFY(posted);
        QVERIFY(w.messages.isEmpty());  // queued, not run on the worker
        QTRY_COMPARE(got, ccm_util::WPARAM(5));
        QCOMPARE(w.messageThread, QThread::currentThread());
    }

    void messageToAWindowThatIsGoneIsDropped() {
        auto* w = new CTestWindow;
        const ccm_util::WindowHandle handle = w->Handle();
        bool reached = false;
        w->OnMessageId(1127, [&](ccm_util::WPARAM, ccm_util::LPARAM) { reached = true; });
        QVERIFY(ccm_util::PostMessage(handle, 1127, 0, 0));  // queued while the window lives
        delete w;                                            // gone before the UI thread runs it
        QTest::qWait(30);
        QVERIFY(!reached);
        QVERIFY(!ccm_util::PostMessage(handle, 1127, 0, 0));  // refused outright now
    }

    void messageFiltersSeeMessagesFirst() {
        CTestWindow w;
        QList<uint32_t> filtered;
        toolkit::CScopedMessageFilter filter([&](const toolkit::Msg& m) {
            filtered.append(m.message);
            return m.message == 0x0312;  // WM_HOTKEY is the page's, not the window's
        });
        ccm_util::PostMessage(w.Handle(), 0x0312, 3, 0);
        ccm_util::PostMessage(w.Handle(), UM_NOTIFY_MAIN, 0, 0);
        QTRY_COMPARE(filtered.size(), 2);
        QTRY_COMPARE(w.messages, QList<uint32_t>{UM_NOTIFY_MAIN});
    }

    void threadMessagesReachTheFiltersOnTheUiThread() {
        QList<QPair<uint32_t, ccm_util::WPARAM>> seen;
        QThread* thread = nullptr;
        toolkit::CScopedMessageFilter filter([&](const toolkit::Msg& m) {
            seen.append({m.message, m.wParam});
            thread = QThread::currentThread();
            return true;
        });
        std::thread worker([] { toolkit::PostThreadMessage(0x0312, 42, 0); });
        worker.join();
        QTRY_COMPARE(seen.size(), 1);
        QCOMPARE(seen[0].second, ccm_util::WPARAM(42));
        QCOMPARE(thread, QThread::currentThread());
    }

    void aFilterRemovedByAnotherIsNotCalled() {
        bool removedRan = false;
        auto second = std::make_unique<toolkit::CScopedMessageFilter>([&](const toolkit::Msg&) {
            removedRan = true;
            return false;
        });
        bool ran = false;
        // Added last, runs first, and removes the other.
        toolkit::CScopedMessageFilter first([&](const toolkit::Msg&) {
            ran = true;
            second.reset();
            return false;
        });
        QVERIFY(!toolkit::CMessageLoop::Instance().PreTranslate(toolkit::Msg{0, 1, 0, 0}));
        QVERIFY(ran);
        QVERIFY(!removedRan);
    }

    void dispatcherRunsWorkInOrderOnTheMainThread() {
        QList<int> order;
        QList<QThread*> threads;
        std::thread worker([&] {
            for (int i = 0; i < 5; ++i) {
                ccm_util::DispatchToUi([&, i] {
                    order.append(i);
                    threads.append(QThread::currentThread());
                });
            }
        });
        worker.join();
        QTRY_COMPARE(order, (QList<int>{0, 1, 2, 3, 4}));
        for (QThread* t : threads) {
            QCOMPARE(t, QThread::currentThread());
        }
    }

    void dialogCommandsOneAndTwoClose() {
        toolkit::CHostDialog dlg(QStringLiteral("XML_MSGBOX"));
        dlg.show();
        QTest::mouseClick(dlg.FindChildByName<QPushButton>(QStringLiteral("btn_close")),
                          Qt::LeftButton);
        QCOMPARE(dlg.result(), toolkit::IDCANCEL);
        dlg.show();
        QTest::mouseClick(dlg.FindChildByName<QPushButton>(QStringLiteral("btnOK")),
                          Qt::LeftButton);
        QCOMPARE(dlg.result(), toolkit::IDOK);
    }
};

QTEST_MAIN(TestHost)
#include "tst_host.moc"
