// Hot keys in the stored form (virtual-key code and Alt 1, Ctrl 2, Shift 4), the hot-key
// control, resource references, the skin table and the CJK font of the theme.
#include <QPainter>
#include <QRawFont>
#include <QTest>

#include "UiTestSupport.h"
#include "toolkit/HotKey.h"
#include "toolkit/Resources.h"
#include "toolkit/SHotKeyCtrl.h"
#include "toolkit/Skin.h"
#include "toolkit/Theme.h"

using namespace toolkit;

class TestHotKeyAndTheme : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { uitest::InitUi(); }

    void qtKeysToVirtualKeys_data() {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<bool>("keypad");
        QTest::addColumn<int>("vk");
        QTest::newRow("A") << int(Qt::Key_A) << false << 0x41;
        QTest::newRow("Z") << int(Qt::Key_Z) << false << 0x5A;
        QTest::newRow("0") << int(Qt::Key_0) << false << 0x30;
        QTest::newRow("F1") << int(Qt::Key_F1) << false << 0x70;
        QTest::newRow("F12") << int(Qt::Key_F12) << false << 0x7B;
        QTest::newRow("F24") << int(Qt::Key_F24) << false << 0x87;
        QTest::newRow("Space") << int(Qt::Key_Space) << false << 0x20;
        QTest::newRow("Return") << int(Qt::Key_Return) << false << 0x0D;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << false << 0x1B;
        QTest::newRow("Home") << int(Qt::Key_Home) << false << 0x24;
        QTest::newRow("Left") << int(Qt::Key_Left) << false << 0x25;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << false << 0x2E;
        QTest::newRow("! is the 1 key") << int(Qt::Key_Exclam) << false << 0x31;
        QTest::newRow(") is the 0 key") << int(Qt::Key_ParenRight) << false << 0x30;
        QTest::newRow("semicolon") << int(Qt::Key_Semicolon) << false << 0xBA;
        QTest::newRow("minus") << int(Qt::Key_Minus) << false << 0xBD;
        QTest::newRow("underscore is the minus key") << int(Qt::Key_Underscore) << false << 0xBD;
        QTest::newRow("bracket") << int(Qt::Key_BracketLeft) << false << 0xDB;
        QTest::newRow("keypad 5") << int(Qt::Key_5) << true << 0x65;
        QTest::newRow("keypad plus") << int(Qt::Key_Plus) << true << 0x6B;
        QTest::newRow("volume up") << int(Qt::Key_VolumeUp) << false << 0xAF;
        QTest::newRow("play") << int(Qt::Key_MediaPlay) << false << 0xB3;
        QTest::newRow("unknown") << int(Qt::Key_Launch0) << false << 0;
    }

    void qtKeysToVirtualKeys() {
        QFETCH(int, qtKey);
        QFETCH(bool, keypad);
        QFETCH(int, vk);
        QCOMPARE(int(QtKeyToVk(qtKey, keypad)), vk);
    }

    void virtualKeysBackToQt() {
        for (int vk : {0x41, 0x30, 0x70, 0x7B, 0x20, 0x25, 0xBA, 0xDB, 0xAF}) {
            QCOMPARE(int(QtKeyToVk(VkToQtKey(uint16_t(vk)))), vk);
        }
        QCOMPARE(VkToQtKey(0x65), int(Qt::Key_5));
        QCOMPARE(VkToQtKey(0xFF), 0);
    }

    void storedForm() {
        QCOMPARE(MakeHotKey(0x70, kHotkeyCtrl | kHotkeyShift), (2u + 4u) * 65536u + 0x70u);
        QCOMPARE(HotKeyVk(393328u), uint16_t(0x70));
        QCOMPARE(HotKeyModifiers(393328u), uint16_t(6));
        QCOMPARE(HotKeyModifiersOf(Qt::AltModifier | Qt::ControlModifier), uint16_t(3));
        QCOMPARE(HotKeyText(393328u), QStringLiteral("Ctrl+Shift+F1"));
        QCOMPARE(HotKeyText(MakeHotKey('K', kHotkeyAlt | kHotkeyCtrl)),
                 QStringLiteral("Ctrl+Alt+K"));
        QCOMPARE(HotKeyText(MakeHotKey(0x65, 0)), QStringLiteral("Num 5"));
        QCOMPARE(HotKeyText(0), QString());
    }

    void hotKeyControlCaptures() {
        SHotKeyCtrl ctrl;
        QTest::keyClick(&ctrl, Qt::Key_Exclam, Qt::ShiftModifier | Qt::AltModifier);  // Alt+Shift+1
        QCOMPARE(ctrl.HotKey(), MakeHotKey(0x31, kHotkeyAlt | kHotkeyShift));
        QCOMPARE(ctrl.text(), QStringLiteral("Shift+Alt+1"));
        QTest::keyPress(&ctrl, Qt::Key_Control, Qt::ControlModifier);  // a modifier alone
        QCOMPARE(ctrl.text(), QStringLiteral("Ctrl+"));
        QCOMPARE(ctrl.HotKey(), MakeHotKey(0x31, kHotkeyAlt | kHotkeyShift));  // unchanged
        QTest::keyRelease(&ctrl, Qt::Key_Control, Qt::NoModifier);
        QCOMPARE(ctrl.text(), QStringLiteral("Shift+Alt+1"));
        QTest::keyClick(&ctrl, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(ctrl.HotKey(), MakeHotKey(0x09, kHotkeyCtrl));
        QTest::keyClick(&ctrl, Qt::Key_Delete);
        QCOMPARE(ctrl.HotKey(), 0u);
        QVERIFY(ctrl.text().isEmpty());
        QVERIFY(!ctrl.testAttribute(Qt::WA_InputMethodEnabled));
    }

    void resourceReferences_data() {
        QTest::addColumn<QString>("ref");
        QTest::addColumn<QString>("path");
        QTest::newRow("menu") << QStringLiteral("SMENU:menu_tray")
                              << QStringLiteral(":/smenu/menu_tray");
        QTest::newRow("lower-case type")
            << QStringLiteral("smenu:menu_tray") << QStringLiteral(":/smenu/menu_tray");
        QTest::newRow("doubled colon") << QStringLiteral("SMENU::menu_mood_hotkey")
                                       << QStringLiteral(":/smenu/menu_mood_hotkey");
        QTest::newRow("image") << QStringLiteral("IMG:image_logo")
                               << QStringLiteral(":/img/image_logo");
        QTest::newRow("bare name")
            << QStringLiteral("gif_Loading") << QStringLiteral(":/gif/gif_Loading");
    }

    void resourceReferences() {
        QFETCH(QString, ref);
        QFETCH(QString, path);
        QCOMPARE(ResourceRef::Parse(ref, QStringLiteral("gif")).Path(), path);
    }

    void everySkinOfTheTableLoads() {
        QFile table(QStringLiteral(":/theme/skins.xml"));
        QVERIFY(table.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&table);
        int count = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement &&
                xml.name() != QLatin1String("skins")) {
                const QString name = xml.attributes().value(QLatin1String("name")).toString();
                SkinPtr skin = GetSkin(name);
                QVERIFY2(skin, qPrintable(name));
                QVERIFY2(!skin->Size().isEmpty(), qPrintable(name));
                ++count;
            }
        }
        QVERIFY(count >= 20);
        QCOMPARE(GetSkin(QStringLiteral("skin_btn_toggle"))->States(), 8);
        QCOMPARE(GetSkin(QStringLiteral("skin_slider_thumb"))->Size(), QSize(18, 18));
        QVERIFY(GetSkin(QStringLiteral("skin_dlg_tip_bg"))->IsClass(QStringLiteral("imgframe")));
        QVERIFY(!GetSkin(QStringLiteral("no_such_skin")));
    }

    void skinStatesAreDrawnFromTheirSlice() {
        // A two-state rail: the disabled state is darker than the enabled one.
        SkinPtr rail = GetSkin(QStringLiteral("skin_rail"));
        QImage a(40, 6, QImage::Format_ARGB32_Premultiplied);
        QImage b = a;
        a.fill(Qt::transparent);
        b.fill(Qt::transparent);
        {
            QPainter p(&a);
            rail->Draw(p, a.rect(), 0);
        }
        {
            QPainter p(&b);
            rail->Draw(p, b.rect(), 1);
        }
        QVERIFY(a.pixelColor(20, 3) != b.pixelColor(20, 3));
        QCOMPARE(a.pixelColor(20, 3).alpha(), 255);
    }

    void theFontHasTheProgramsChineseGlyphs() {
        const QFont font = QApplication::font();
        QCOMPARE(font.family(), CjkFontFamily());
        const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::SimplifiedChinese);
        QVERIFY(raw.isValid());
        const QString texts = QStringLiteral(
            "提示确定取消请输入列表名称热键输入文本不能为空！输入的字符个数大于不能包含字符“”");
        for (QChar c : texts) {
            QVERIFY2(raw.supportsCharacter(c), qPrintable(QString(c)));
        }
    }
};

QTEST_MAIN(TestHotKeyAndTheme)
#include "tst_hotkey_theme.moc"
