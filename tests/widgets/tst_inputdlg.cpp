// SDlgInput and SInputHotKeyDlg: trimming, the three refusals with their messages and
// tips, the commands that close the dialogs, and the hot key's value.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "toolkit/HotKey.h"
#include "toolkit/SHotKeyCtrl.h"
#include "widgets/CTipWnd.h"
#include "widgets/SDlgInput.h"
#include "widgets/SInputHotKeyDlg.h"

namespace {
// The forbidden set of list names: backslash, colon, slash, asterisk, question mark, double quote,
// less-than, greater-than and vertical bar.
const QString kForbidden = QStringLiteral("\\:/*?\"<>|");

void ClickOk(QWidget* dialog) {
    auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("btnOK"));
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
}
}  // namespace

class TestInputDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { uitest::InitUi(); }

    void cleanup() {
        CTipWnd::Destroy();
        QVERIFY(!CTipWnd::Instance());
    }

    void opening() {
        SDlgInput dlg(QStringLiteral("我的列表"), 9);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.Title(), QStringLiteral("请输入列表名称"));
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("txt_title"))->text(),
                 QStringLiteral("请输入列表名称"));
        QCOMPARE(dlg.Edit()->text(), QStringLiteral("我的列表"));
        QCOMPARE(dlg.Edit()->selectedText(), QStringLiteral("我的列表"));
        QCOMPARE(dlg.MaxLength(), 9);
        QVERIFY(dlg.isModal());
    }

    void okTrimsTheText() {
        SDlgInput dlg(QString(), 9);
        dlg.SetForbiddenChars(kForbidden);
        dlg.show();
        dlg.Edit()->setText(QStringLiteral(" \t abc\r\n "));
        ClickOk(&dlg);
        QCOMPARE(dlg.result(), toolkit::IDOK);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.Text(), QStringLiteral("abc"));
        QVERIFY(!CTipWnd::Instance());
    }

    void refusals_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QString>("message");
        QTest::newRow("blanks only")
            << QStringLiteral(" \t\r\n ") << 9 << QStringLiteral("输入文本不能为空！");
        QTest::newRow("empty") << QString() << -1 << QStringLiteral("输入文本不能为空！");
        QTest::newRow("ten characters for nine")
            << QStringLiteral("abcdefghij") << 9 << QStringLiteral("输入的字符个数大于9！");
        QTest::newRow("twelve Chinese characters for eleven")
            << QStringLiteral("一二三四五六七八九十百千") << 11
            << QStringLiteral("输入的字符个数大于11！");
        QTest::newRow("a colon") << QStringLiteral("新建:列表") << 9
                                 << QStringLiteral("不能包含字符“\\:/*?\"<>|”");
        QTest::newRow("a vertical bar, no length limit")
            << QStringLiteral("a|b") << -1 << QStringLiteral("不能包含字符“\\:/*?\"<>|”");
    }

    void refusals() {
        QFETCH(QString, entry);
        QFETCH(int, maxLength);
        QFETCH(QString, message);
        SDlgInput dlg(QString(), maxLength);
        dlg.SetForbiddenChars(kForbidden);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.Edit()->setText(entry);
        ClickOk(&dlg);
        QVERIFY(dlg.isVisible());  // never closes on invalid input
        QCOMPARE(dlg.result(), 0);
        CTipWnd* tip = CTipWnd::Instance();
        QVERIFY(tip);
        QCOMPARE(tip->Text(), message);
        QCOMPARE(tip->AnchorKind(), 1);  // the tip stands above the point
        QCOMPARE(tip->Duration(), 2000);
        QVERIFY(!tip->IsWarning());
        QLineEdit* edit = dlg.Edit();
        QCOMPARE(tip->Anchor(),
                 edit->parentWidget()->mapToGlobal(edit->geometry().topLeft() + QPoint(50, 15)));
        QCOMPARE(QApplication::focusWidget(), edit);
    }

    void longTextPassesWithoutALimit() {
        SDlgInput dlg(QString(), -1);
        dlg.show();
        dlg.Edit()->setText(QString(200, QLatin1Char('x')));
        ClickOk(&dlg);
        QCOMPARE(dlg.result(), toolkit::IDOK);
        QCOMPARE(dlg.Text().size(), 200);
    }

    void closingCommands() {
        for (const char* name : {"btnCancel", "btn_close"}) {
            SDlgInput dlg(QStringLiteral("x"), 9);
            dlg.show();
            QTest::mouseClick(dlg.findChild<QPushButton*>(QString::fromLatin1(name)),
                              Qt::LeftButton);
            QCOMPARE(dlg.result(), toolkit::IDCANCEL);
        }
        {
            // Any other control with id 1 closes with OK, id 2 with cancel.
            SDlgInput dlg(QStringLiteral("x"), 9);
            dlg.show();
            toolkit::ControlEvent ev;
            ev.kind = toolkit::EventKind::Command;
            ev.controlId = 1;
            ev.controlName = QStringLiteral("btn_other");
            QVERIFY(dlg.HandleControlEvent(ev));
            QCOMPARE(dlg.result(), toolkit::IDOK);
        }
        {
            SDlgInput dlg(QStringLiteral("x"), 9);
            dlg.show();
            QTest::keyClick(&dlg, Qt::Key_Escape);
            QCOMPARE(dlg.result(), toolkit::IDCANCEL);
        }
    }

    void enterRunsTheCheck() {
        SDlgInput dlg(QString(), 9);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.Edit()->setText(QStringLiteral("  名称 "));
        QTest::keyClick(dlg.Edit(), Qt::Key_Return);
        QCOMPARE(dlg.result(), toolkit::IDOK);
        QCOMPARE(dlg.Text(), QStringLiteral("名称"));
    }

    void hotKeyCtrlShiftF1() {
        SInputHotKeyDlg dlg(QStringLiteral("LAYOUT:XML_HOTKEYDLG"), 0, QString());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("txt_title"))->text(),
                 QStringLiteral("请输入热键"));
        SHotKeyCtrl* ctrl = dlg.HotKeyControl();
        QVERIFY(ctrl);
        QTest::keyClick(ctrl, Qt::Key_F1, Qt::ControlModifier | Qt::ShiftModifier);
        ClickOk(&dlg);
        QCOMPARE(dlg.result(), toolkit::IDOK);
        QCOMPARE(dlg.HotKey(), (2u + 4u) * 65536u + 0x70u);
        QCOMPARE(dlg.HotKeyText(), QStringLiteral("Ctrl+Shift+F1"));
    }

    void hotKeyOpensWithTheCurrentKeyAndTitle() {
        const uint32_t altQ = toolkit::MakeHotKey('Q', toolkit::kHotkeyAlt);
        SInputHotKeyDlg dlg(QStringLiteral("LAYOUT:XML_HOTKEYDLG"), altQ,
                            QStringLiteral("编辑热键"));
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("txt_title"))->text(),
                 QStringLiteral("编辑热键"));
        QCOMPARE(dlg.HotKeyControl()->Key(), uint16_t('Q'));
        QCOMPARE(dlg.HotKeyControl()->Modifiers(), toolkit::kHotkeyAlt);
        QCOMPARE(dlg.HotKeyControl()->text(), QStringLiteral("Alt+Q"));
        QVERIFY(!dlg.testAttribute(Qt::WA_InputMethodEnabled));
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
        QCOMPARE(dlg.result(), toolkit::IDCANCEL);
        QCOMPARE(dlg.HotKey(), altQ);  // unchanged on cancel
    }

    void hotKeyBackspaceClears() {
        SInputHotKeyDlg dlg(QStringLiteral("XML_HOTKEYDLG"), toolkit::MakeHotKey(0x70, 2),
                            QString());
        dlg.show();
        QTest::keyClick(dlg.HotKeyControl(), Qt::Key_Backspace);
        ClickOk(&dlg);
        QCOMPARE(dlg.HotKey(), 0u);
    }
};

QTEST_MAIN(TestInputDialogs)
#include "tst_inputdlg.moc"
