// Menus from XML resources and the message box from XML_MSGBOX.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "UiTestSupport.h"
#include "toolkit/Menu.h"
#include "toolkit/MessageBox.h"

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
        uitest::CRecordingHost owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        toolkit::CMenu menu;
        QVERIFY(menu.LoadMenu(QStringLiteral("SMENU:menu_tray")));
        QTimer::singleShot(50, [&menu] {
            QMenu* popup = menu.Native();
            QVERIFY(popup->isVisible());
            popup->setActiveAction(menu.FindItem(9));
            QTest::keyClick(popup, Qt::Key_Return);
        });
        const int id = menu.TrackPopupMenu(owner.mapToGlobal(QPoint(10, 10)), &owner);
        QCOMPARE(id, 9);
        QCOMPARE(owner.events.size(), size_t(1));
        QCOMPARE(owner.events[0].kind, toolkit::EventKind::Command);
        QCOMPARE(owner.events[0].controlId, 9);
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
