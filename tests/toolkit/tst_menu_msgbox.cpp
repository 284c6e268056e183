// Menus from XML resources and the message box from XML_MSGBOX.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTest>

#include "UiTestSupport.h"
#include "toolkit/Controls.h"
#include "toolkit/Menu.h"
#include "toolkit/MessageBox.h"
#include "toolkit/SImageWnd.h"
#include "toolkit/WindowEnd.h"

class TestMenuAndMessageBox : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { uitest::InitUi(); }

    void trayMenuFromTheResources() {
        toolkit::CMenu menu;
        QVERIFY(menu.LoadMenu(QStringLiteral("SMENU:menu_tray")));
        QCOMPARE(menu.ItemIds(), (QList<int>{7, 9, 10}));
        QVERIFY(!menu.HasItem(8));  // the tray menu has no autostart item
        QCOMPARE(menu.FindItem(7)->text(), QStringLiteral("Show"));
        QCOMPARE(menu.FindItem(10)->text(), QStringLiteral("Exit"));
        toolkit::CMenu lower;
        QVERIFY(lower.LoadMenu(QStringLiteral("smenu:menu_tray")));  // the type in any case
    }

    void missingOrBrokenMenus() {
        toolkit::CMenu menu;
        QTest::ignoreMessage(QtWarningMsg, "toolkit: menu SMENU:menu_nothing not found");
        QVERIFY(!menu.LoadMenu(QStringLiteral("SMENU:menu_nothing")));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("toolkit: bad menu XML.*")));
        QVERIFY(!menu.LoadMenuXml("<menu><item id=\"1\">a</menu>"));
    }

    void itemsChangedBeforeShowing() {
        toolkit::CMenu menu;
        QVERIFY(menu.LoadMenu(QStringLiteral("SMENU:menu_tray")));
        QVERIFY(menu.InsertItem(1, 8, QStringLiteral("开机启动")));
        QVERIFY(!menu.InsertItem(0, 8, QStringLiteral("again")));  // ids are unique
        QCOMPARE(menu.ItemIds(), (QList<int>{7, 8, 9, 10}));
        QVERIFY(menu.CheckItem(8, true));
        QVERIFY(menu.IsChecked(8));
        QVERIFY(menu.CheckItem(8, false));
        QVERIFY(!menu.IsChecked(8));
        QVERIFY(menu.EnableItem(9, false));
        QVERIFY(!menu.FindItem(9)->isEnabled());
        QVERIFY(menu.SetItemText(7, QStringLiteral("显示主界面")));
        QCOMPARE(menu.FindItem(7)->text(), QStringLiteral("显示主界面"));
        QVERIFY(menu.RemoveItem(9));
        QVERIFY(!menu.RemoveItem(9));
        QCOMPARE(menu.ItemIds(), (QList<int>{7, 8, 10}));
        QVERIFY(menu.InsertItem(-1, 11, QStringLiteral("末尾")));
        QCOMPARE(menu.ItemIds().last(), 11);
        QVERIFY(!menu.CheckItem(99, true));
    }

    void submenusAndAttributes() {
        toolkit::CMenu menu;
        QVERIFY(menu.LoadMenuXml(R"(<menu>
            <item id="1001" check="1">收藏</item>
            <sep/>
            <item text="设置热键">
              <item id="1002">设置</item>
              <item id="1004" disable="1">编辑</item>
            </item>
          </menu>)"));
        QCOMPARE(menu.ItemIds().size(), 2);  // the item and the submenu; separators left out
        QVERIFY(menu.IsChecked(1001));
        QAction* edit = menu.FindItem(1004);
        QVERIFY(edit);
        QVERIFY(!edit->isEnabled());
        QCOMPARE(edit->text(), QStringLiteral("编辑"));
        QVERIFY(menu.RemoveItem(1002));  // from the submenu
        QVERIFY(!menu.HasItem(1002));
    }

    void trackPopupMenuReturnsTheCommandAndTellsTheOwner() {
        // The owner has a button with the same id as the menu item: a menu command has its own
        // route and never reaches the control (the reverb "more" button is 1000).
        uitest::CRecordingHost owner;
        auto* button = new QPushButton(&owner);
        button->setObjectName(QStringLiteral("btn_reverb_pitch_more"));
        toolkit::SetControlId(button, 1000);
        int clicks = 0;
        int commands = 0;
        owner.Events().OnCommand(1000, [&clicks] { ++clicks; });
        owner.OnMenuId(1000, [&commands] { ++commands; });
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        toolkit::CMenu menu;
        QVERIFY(menu.LoadMenuXml(
            "<menu><item id=\"9\">About</item><item id=\"1000\">More</item></menu>"));
        QTimer::singleShot(50, [&menu] {
            QMenu* popup = menu.Native();
            QVERIFY(popup->isVisible());
            popup->setActiveAction(menu.FindItem(1000));
            QTest::keyClick(popup, Qt::Key_Return);
        });
        const int id = menu.TrackPopupMenu(owner.mapToGlobal(QPoint(10, 10)), &owner);
        QCOMPARE(id, 1000);
        QCOMPARE(commands, 1);
        QCOMPARE(clicks, 0);
        QVERIFY(owner.events.empty());                  // no control event at all
        QVERIFY(!toolkit::SendMenuCommand(&owner, 9));  // nobody takes 9
    }

    // A window that goes while dialogs are open over it: their loops end, innermost first, and
    // the window is deleted only after them, so no dialog is pulled from under its exec.
    void aWindowEndsAfterTheDialogsOverIt() {
        auto* owner = new toolkit::CHostWindow;
        QPointer<QWidget> alive(owner);
        owner->show();
        std::vector<QString> ended;
        int outerResult = -1;
        int innerResult = -1;
        {
            toolkit::CMessageBox outer(owner, QStringLiteral("outer"));
            QTimer::singleShot(0, &outer, [&] {
                toolkit::CMessageBox inner(&outer, QStringLiteral("inner"));
                QTimer::singleShot(0, &inner, [&] {
                    QCOMPARE(toolkit::ModalDepth(), 2);
                    toolkit::DestroyWindow(owner);
                    QVERIFY(alive);
                    QVERIFY(!owner->isVisible());
                });
                innerResult = inner.DoModal();
                ended.push_back(QStringLiteral("inner"));
                QVERIFY(alive);  // the outer loop still runs: the window waits
            });
            outerResult = outer.DoModal();
            ended.push_back(QStringLiteral("outer"));
            QVERIFY(alive);
        }
        QCOMPARE(innerResult, toolkit::IDCANCEL);
        QCOMPARE(outerResult, toolkit::IDCANCEL);
        QCOMPARE(ended, (std::vector<QString>{QStringLiteral("inner"), QStringLiteral("outer")}));
        QCOMPARE(toolkit::ModalDepth(), 0);
        QTRY_VERIFY(!alive);
    }

    void dismissedMenuReturnsZero() {
        toolkit::CMenu menu;
        QVERIFY(menu.LoadMenu(QStringLiteral("SMENU:menu_tray")));
        QTimer::singleShot(50, [&menu] { QTest::keyClick(menu.Native(), Qt::Key_Escape); });
        QCOMPARE(menu.TrackPopupMenu(QPoint(100, 100)), 0);
    }

    void messageBoxCaptionAndButtons() {
        QWidget owner;
        toolkit::CMessageBox box(&owner, QStringLiteral("正在载入特效，暂时不能退出软件"));
        QCOMPARE(box.Caption(), QStringLiteral("提示"));
        QCOMPARE(box.windowTitle(), QStringLiteral("提示"));
        QCOMPARE(box.Text(), QStringLiteral("正在载入特效，暂时不能退出软件"));
        QVERIFY(!box.HasCancel());
        QCOMPARE(box.parentWidget(), &owner);
        QVERIFY(box.isModal());

        toolkit::CMessageBox ask(nullptr, QStringLiteral("确定？"), QStringLiteral("删除"),
                                 toolkit::MB_OKCANCEL);
        QCOMPARE(ask.Caption(), QStringLiteral("删除"));
        QVERIFY(ask.HasCancel());
    }

    // An error carries the warning mark, not the information mark, and a box sits centred on
    // its owner's window wherever that is (it used to show elsewhere on the screen).
    void messageBoxMarkAndPlace() {
        toolkit::CMessageBox info(nullptr, QStringLiteral("录音保存成功"));
        auto* mark = info.findChild<SImageWnd*>(QStringLiteral("msgicon"));
        QVERIFY(mark);
        QCOMPARE(mark->skin(), QStringLiteral("skin_msg_info"));
        QVERIFY(!info.IsWarning());
        toolkit::CMessageBox error(nullptr, QStringLiteral("载入特效失败"), QString(),
                                   toolkit::MB_OK | toolkit::MB_ICONWARNING);
        QCOMPARE(error.findChild<SImageWnd*>(QStringLiteral("msgicon"))->skin(),
                 QStringLiteral("skin_image_tip_warning"));
        QVERIFY(error.IsWarning());
        QVERIFY(!error.HasCancel());
        toolkit::CMessageBox ask(nullptr, QStringLiteral("替换？"), QString(),
                                 toolkit::MB_OKCANCEL | toolkit::MB_ICONWARNING);
        QVERIFY(ask.HasCancel());

        QWidget owner;
        owner.setGeometry(40, 60, 860, 675);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        QWidget* child = new QWidget(&owner);  // a box owned by a control of the window
        child->setGeometry(10, 10, 20, 20);
        QPoint centre;
        QTimer::singleShot(30, [&centre] {
            if (auto* box =
                    qobject_cast<toolkit::CMessageBox*>(QApplication::activeModalWidget())) {
                centre = box->frameGeometry().center();
                box->done(toolkit::IDOK);
            }
        });
        toolkit::SMessageBox(child, QStringLiteral("文件路径太长，无法添加！"), QString(),
                             toolkit::MB_OK | toolkit::MB_ICONWARNING);
        const QPoint expected = owner.frameGeometry().center();
        QVERIFY2((centre - expected).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2 vs %3,%4")
                                .arg(centre.x())
                                .arg(centre.y())
                                .arg(expected.x())
                                .arg(expected.y())));
    }

    void messageBoxResults_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("OK") << QStringLiteral("btnOK") << toolkit::IDOK;
        QTest::newRow("Cancel") << QStringLiteral("btnCancel") << toolkit::IDCANCEL;
        QTest::newRow("close") << QStringLiteral("btn_close") << toolkit::IDCANCEL;
    }

    void messageBoxResults() {
        QFETCH(QString, button);
        QFETCH(int, result);
        toolkit::CMessageBox box(nullptr, QStringLiteral("文字"), QString(), toolkit::MB_OKCANCEL);
        QTimer::singleShot(30, &box, [&box, button] {
            QTest::mouseClick(box.findChild<QPushButton*>(button), Qt::LeftButton);
        });
        QCOMPARE(box.DoModal(), result);
    }

    void sMessageBoxIsModal() {
        QTimer::singleShot(30, [] {
            auto* box = qobject_cast<toolkit::CMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QCOMPARE(toolkit::SMessageBox(nullptr, QStringLiteral("设备正在进行固件升级")),
                 toolkit::IDCANCEL);
    }
};

QTEST_MAIN(TestMenuAndMessageBox)
#include "tst_menu_msgbox.moc"
