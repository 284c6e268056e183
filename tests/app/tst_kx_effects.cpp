// The effects page's "KX音效" tab in the running program, against an in-process virtual card:
// the lists of the user's EffectList.xml, effects used by a double-click and by the menu, stored
// in the card's remote-control slots and copied to "我的音效", and lists opened and closed into
// the file.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QTest>

#include <fstream>
#include <sstream>

#include "../core/TempDir.h"
#include "CardConnection.h"
#include "CardModel.h"
#include "MainApp.h"
#include "MainDlg.h"
#include "VirtualCardServer.h"
#include "WorkSpace.h"
#include "ccm_util/Dispatcher.h"
#include "effects/ui/KxTreeViewAdapter.h"
#include "toolkit/Menu.h"
#include "toolkit/QtDispatcher.h"
#include "widgets/CTipWnd.h"

namespace {

const char kLists[] =
    "<?xml version=\"1.0\"?>\n<AudioRack><Effect>"
    "<Items Name=\"直播\" Collapse=\"0\"><Item Name=\"温暖人声\" Path=\"3\"/>"
    "<Item Name=\"无编号\" Path=\"\"/><Item Name=\"带字母\" Path=\"5abc\"/></Items>"
    "<Items Name=\"K歌\" Collapse=\"1\"><Item Name=\"录音棚\" Path=\"9\"/></Items>"
    "</Effect><Keep me=\"1\"/></AudioRack>\n";

std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void DoubleClick(QWidget* w, QPoint pt) {
    QTest::mousePress(w, Qt::LeftButton, {}, pt);
    QTest::mouseRelease(w, Qt::LeftButton, {}, pt);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(pt), QPointF(w->mapToGlobal(pt)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &dbl);
    QTest::mouseRelease(w, Qt::LeftButton, {}, pt);
}

}  // namespace

class TestKxEffects : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir;
    std::unique_ptr<vcard::CVirtualCardServer> card;
    std::unique_ptr<CMainApp> app;
    toolkit::CQtDispatcher dispatcher;
    std::unique_ptr<ccm_util::CScopedDispatcher> scoped;
    STreeView* tree = nullptr;
    CKxTreeViewAdapter* adapter = nullptr;

    std::filesystem::path ListFile() const {
        return dir->Path() / "data" / "Velora" / "EffectList.xml";
    }

    int CardEffect() const {
        int n = -1;
        card->Inspect([&](const vcard::CCardModel& m) { n = m.EffectNumber(); });
        return n;
    }
    std::vector<int> StoredSlots() const {
        std::vector<int> s;
        card->Inspect([&](const vcard::CCardModel& m) { s = m.StoredSlots(); });
        return s;
    }

    // The leaf named name, in list order.
    CTreeData* Leaf(const QString& name) const {
        for (CTreeData* leaf : effects::Leaves(adapter->Store().Root())) {
            if (QString::fromStdU16String(leaf->GetName()) == name) {
                return leaf;
            }
        }
        return nullptr;
    }
    static toolkit::TreeItem* Item(const CTreeData* node) {
        return static_cast<toolkit::TreeItem*>(node->viewItem);
    }
    bool IsCurrent(const CTreeData* node) const { return adapter->GetItemLook(Item(node)).current; }
    QString Title() const {
        return app->Switcher()
            .MainWindow()
            ->FindChildByName<QLabel>(QStringLiteral("txt_eff_title"))
            ->text();
    }

private slots:
    void init() {
        dir = std::make_unique<TempDir>();
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((dir->Path() / "data").string()));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir->Path() / "config").string()));
        qputenv("LYNT_VIRTUAL_CARD_DIR",
                QByteArray::fromStdString((dir->Path() / "cards").string()));
        scoped = std::make_unique<ccm_util::CScopedDispatcher>(&dispatcher);
        std::filesystem::create_directories(ListFile().parent_path());
        std::ofstream(ListFile(), std::ios::binary) << kLists;

        vcard::ServerOptions o;
        o.socketPath = dir->Path() / "cards" / "#VID_2B53&PID_0041#0";
        std::filesystem::create_directories(o.socketPath.parent_path());
        card = std::make_unique<vcard::CVirtualCardServer>(o);
        QVERIFY(card->Start());
        app = std::make_unique<CMainApp>();
        QVERIFY(app->Init());
        app->StartWindows();
        QTRY_VERIFY_WITH_TIMEOUT(app->Switcher().MainWindow() != nullptr, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(app->Connection()->IsConnected(), 5000);
        tree = app->Switcher().MainWindow()->FindChildByName<STreeView>(
            QStringLiteral("trctl_kx_eff_list"));
        QVERIFY(tree);
        adapter = dynamic_cast<CKxTreeViewAdapter*>(tree->Adapter());
        QVERIFY(adapter);
        // The tab in view, as the user has it when using it.
        auto* tabs = app->Switcher().MainWindow()->FindChildByName<QTabWidget>(
            QStringLiteral("tab_efflist"));
        tabs->setCurrentIndex(0);
        QTRY_VERIFY(tree->isVisible());
    }

    void cleanup() {
        app.reset();
        card.reset();
        scoped.reset();
        dir.reset();
    }

    void listsAsTheFileHasThem() {
        QCOMPARE(tree->ItemCount(), 6);
        QCOMPARE(adapter->GetItemLook(tree->ChildItem(nullptr, 0)).text,
                 QStringLiteral("直播 [3]"));
        QCOMPARE(adapter->GetItemLook(tree->ChildItem(nullptr, 1)).text, QStringLiteral("K歌 [1]"));
        QVERIFY(!tree->ItemRect(Item(Leaf(QStringLiteral("温暖人声")))).isEmpty());
        QVERIFY(tree->ItemRect(Item(Leaf(QStringLiteral("录音棚")))).isEmpty());  // "K歌" closed
        // The card runs a device effect: no list effect is current.
        for (CTreeData* leaf : effects::Leaves(adapter->Store().Root())) {
            QVERIFY(!IsCurrent(leaf));
        }
    }

    // A double-click uses the effect by its number (the identifier's leading digits): the card
    // runs number + 7, the title names it and the tab marks it; an effect without identifier
    // only tells the user.
    void doubleClickUsesAnEffect() {
        CTreeData* warm = Leaf(QStringLiteral("温暖人声"));
        DoubleClick(tree->viewport(), tree->ItemRect(Item(warm)).center());
        QTRY_COMPARE(CardEffect(), 3 + 7);
        QCOMPARE(Title(), QStringLiteral("当前音效：温暖人声"));
        QVERIFY(IsCurrent(warm));

        CTreeData* letters = Leaf(QStringLiteral("带字母"));
        DoubleClick(tree->viewport(), tree->ItemRect(Item(letters)).center());
        QTRY_COMPARE(CardEffect(), 5 + 7);
        QCOMPARE(Title(), QStringLiteral("当前音效：带字母"));
        QVERIFY(!IsCurrent(warm));

        DoubleClick(tree->viewport(),
                    tree->ItemRect(Item(Leaf(QStringLiteral("无编号")))).center());
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("无编号音效使用失败!"));
        QTest::qWait(200);
        QCOMPARE(CardEffect(), 5 + 7);

        // A device effect button takes the mark away again.
        app->Switcher().MainWindow()->FindChildByID<QAbstractButton>(10001)->click();
        QTRY_COMPARE(CardEffect(), 0);
        for (CTreeData* leaf : effects::Leaves(adapter->Store().Root())) {
            QVERIFY(!IsCurrent(leaf));
        }
    }

    // Opening or closing a list is written to the file at once, keeping the rest of it.
    void openingAListIsSaved() {
        toolkit::TreeItem* karaoke = tree->ChildItem(nullptr, 1);
        const QPoint toggle = tree->ToggleRect(karaoke).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, toggle);
        QVERIFY(!tree->ItemRect(Item(Leaf(QStringLiteral("录音棚")))).isEmpty());
        const std::string saved = Read(ListFile());
        QVERIFY2(saved.find("Name=\"K歌\" Collapse=\"0\"") != std::string::npos, saved.c_str());
        QVERIFY(saved.find("<Keep me=\"1\"") != std::string::npos);
    }

    // The item menu: remote-control slots on the card, "我的音效" buttons, use.
    void menuCommands() {
        QVERIFY(!adapter->BuildMenu(adapter->Store().Root().Children()[0].get()));
        CTreeData* studio = Leaf(QStringLiteral("录音棚"));
        std::unique_ptr<toolkit::CMenu> menu = adapter->BuildMenu(studio);
        QVERIFY(menu);
        QCOMPARE(menu->ItemIds().value(0), CKxTreeViewAdapter::kCmdUse);
        for (int id : {201, 202, 300, 311}) {
            QVERIFY(menu->HasItem(id));
        }

        adapter->OnMenuCommand(studio, CKxTreeViewAdapter::kCmdSlot1);
        QTRY_COMPARE(StoredSlots(), std::vector<int>{1});
        QTRY_COMPARE(CardEffect(), 9 + 7);
        // The device's "自定义1" now stands for the stored effect, once the card took the number.
        QTRY_COMPARE(QString::fromUtf16(app->WorkSpace()->BuiltinEffectList()[5].source),
                     QStringLiteral("9"));
        QCOMPARE(app->WorkSpace()->BuiltinEffectList()[5].downloaded, 1);

        adapter->OnMenuCommand(Leaf(QStringLiteral("无编号")), CKxTreeViewAdapter::kCmdSlot2);
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("音效文件不存在"));
        QTest::qWait(200);
        QCOMPARE(StoredSlots(), std::vector<int>{1});

        adapter->OnMenuCommand(studio, CKxTreeViewAdapter::kCmdMyEffectFirst + 2);
        QCOMPARE(app->Switcher().MainWindow()->FindChildByID<QAbstractButton>(10009)->text(),
                 QStringLiteral("录音棚"));
        // Once among "我的音效" is enough.
        adapter->OnMenuCommand(studio, CKxTreeViewAdapter::kCmdMyEffectFirst + 5);
        QVERIFY(CTipWnd::Instance()->Text().startsWith(
            QStringLiteral("我的音效自定义中已存在相同音效")));
        QCOMPARE(app->Switcher().MainWindow()->FindChildByID<QAbstractButton>(10012)->text(),
                 QStringLiteral("自定义8"));

        CTreeData* warm = Leaf(QStringLiteral("温暖人声"));
        adapter->OnMenuCommand(warm, CKxTreeViewAdapter::kCmdUse);
        QTRY_COMPARE(CardEffect(), 3 + 7);
        QVERIFY(IsCurrent(warm));
    }

    // A right-click on an effect opens its menu at the cursor, on a list none; a dismissed menu
    // does nothing.
    void rightClickOpensTheItemMenu() {
        const int before = CardEffect();
        QStringList seen;
        QTimer::singleShot(100, [&] {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* a : popup->actions()) {
                    seen << a->text();
                }
                popup->close();
            }
        });
        const QPoint onEffect = tree->ItemRect(Item(Leaf(QStringLiteral("温暖人声")))).center();
        QContextMenuEvent e(QContextMenuEvent::Mouse, onEffect,
                            tree->viewport()->mapToGlobal(onEffect));
        QApplication::sendEvent(tree->viewport(), &e);
        QCOMPARE(seen, (QStringList{QStringLiteral("使用音效"), QStringLiteral("保存到设备"),
                                    QStringLiteral("添加到我的音效")}));
        QCOMPARE(CardEffect(), before);
    }
};

QTEST_MAIN(TestKxEffects)
#include "tst_kx_effects.moc"
