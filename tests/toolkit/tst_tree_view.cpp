// The toolkit's tree view: items from an adapter, expanding and collapsing by the toggle and by
// double-clicks, the events an adapter gets with their item, and the roles' colours as drawn.
#include <QContextMenuEvent>
#include <QImage>
#include <QTest>
#include <map>

#include "UiTestSupport.h"
#include "toolkit/STreeView.h"

using toolkit::TreeItem;
using toolkit::TreeItemLook;

namespace {

// A two-level tree: lists of effects, as the effect pages have.
class CTestAdapter : public toolkit::ITreeViewAdapter {
public:
    std::map<quintptr, TreeItemLook> looks;
    std::vector<std::pair<TreeItem*, bool>> toggled;
    std::vector<TreeItem*> dblClicked;
    std::vector<std::pair<TreeItem*, QPoint>> menus;

    TreeItemLook GetItemLook(const TreeItem* item) const override {
        const auto it = looks.find(STreeView::ItemData(item));
        return it == looks.end() ? TreeItemLook{} : it->second;
    }
    void OnItemDblClick(TreeItem* item) override { dblClicked.push_back(item); }
    void OnItemContextMenu(TreeItem* item, const QPoint& pos) override {
        menus.emplace_back(item, pos);
    }
    void OnItemToggled(TreeItem* item, bool expanded) override {
        toggled.emplace_back(item, expanded);
    }
};

void DoubleClick(QWidget* w, QPoint pt) {
    uitest::Press(w, pt);
    uitest::Release(w, pt);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(pt), QPointF(w->mapToGlobal(pt)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &dbl);
    uitest::Release(w, pt);
}

void RightClick(STreeView* view, QPoint viewportPt) {
    QContextMenuEvent e(QContextMenuEvent::Mouse, viewportPt,
                        view->viewport()->mapToGlobal(viewportPt));
    QApplication::sendEvent(view->viewport(), &e);
}

QColor PixelAt(STreeView* view, QPoint viewportPt) {
    const QImage img = view->viewport()->grab().toImage();
    return img.pixelColor(viewportPt * img.devicePixelRatio());
}

}  // namespace

class TestTreeView : public QObject {
    Q_OBJECT

    std::unique_ptr<STreeView> view;
    CTestAdapter adapter;
    TreeItem* list1 = nullptr;
    TreeItem* list2 = nullptr;
    TreeItem* empty = nullptr;
    std::vector<TreeItem*> effects;

private slots:
    void initTestCase() { uitest::InitUi(); }

    void init() {
        adapter = CTestAdapter{};
        view = std::make_unique<STreeView>();
        view->resize(228, 320);
        view->SetAdapter(&adapter);
        quintptr key = 1;
        list1 = view->InsertItem(key);
        adapter.looks[key++] = {QStringLiteral("直播 [3]")};
        for (int i = 0; i < 3; ++i) {
            effects.push_back(view->InsertItem(key, list1));
            adapter.looks[key++] = {QStringLiteral("效果%1").arg(i)};
        }
        list2 = view->InsertItem(key);
        adapter.looks[key++] = {QStringLiteral("K歌 [2]")};
        for (int i = 0; i < 2; ++i) {
            effects.push_back(view->InsertItem(key, list2));
            adapter.looks[key++] = {QStringLiteral("录音棚%1").arg(i)};
        }
        empty = view->InsertItem(key);
        adapter.looks[key++] = {QStringLiteral("空 [0]")};
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }

    void cleanup() {
        view.reset();
        effects.clear();
    }

    void itemsComeFromTheAdapter() {
        QCOMPARE(view->ItemCount(), 8);
        QCOMPARE(view->ChildCount(nullptr), 3);
        QCOMPARE(view->ChildCount(list1), 3);
        QCOMPARE(view->ChildItem(list1, 2), effects[2]);
        QCOMPARE(STreeView::ParentItem(effects[4]), list2);
        QCOMPARE(view->model()->data(view->model()->index(1, 0), Qt::DisplayRole).toString(),
                 QStringLiteral("K歌 [2]"));
        // Collapsed at first: the lists' effects are not shown, only lists with effects have a
        // toggle.
        QVERIFY(view->ItemRect(effects[0]).isEmpty());
        QVERIFY(!view->ToggleRect(list1).isEmpty());
        QVERIFY(view->ToggleRect(empty).isEmpty());
    }

    void toggleExpandsAndCollapses() {
        const QPoint toggle = view->ToggleRect(list1).center();
        uitest::Press(view->viewport(), toggle);
        uitest::Release(view->viewport(), toggle);
        QVERIFY(STreeView::IsItemExpanded(list1));
        QVERIFY(!view->ItemRect(effects[0]).isEmpty());
        // The second list moved down below the first one's effects.
        QCOMPARE(view->ItemRect(list2).top(), 4 * view->itemHeight());
        uitest::Press(view->viewport(), toggle);
        uitest::Release(view->viewport(), toggle);
        QVERIFY(!STreeView::IsItemExpanded(list1));
        QVERIFY(view->ItemRect(effects[0]).isEmpty());
        const std::vector<std::pair<TreeItem*, bool>> expected{{list1, true}, {list1, false}};
        QCOMPARE(adapter.toggled, expected);
        QVERIFY(adapter.dblClicked.empty());
    }

    void doubleClicks() {
        // A list toggles; its text is far from the toggle.
        const QRect row = view->ItemRect(list2);
        DoubleClick(view->viewport(), QPoint(row.center().x(), row.center().y()));
        QVERIFY(STreeView::IsItemExpanded(list2));
        QCOMPARE(adapter.toggled.size(), size_t{1});
        QCOMPARE(adapter.toggled[0].first, list2);
        // An effect goes to the adapter, with its item.
        const QRect effectRow = view->ItemRect(effects[4]);
        QVERIFY(!effectRow.isEmpty());
        DoubleClick(view->viewport(), effectRow.center());
        QCOMPARE(adapter.dblClicked, std::vector<TreeItem*>{effects[4]});
        QCOMPARE(adapter.toggled.size(), size_t{1});
        // A list without effects has nothing to expand and is no effect either.
        DoubleClick(view->viewport(), view->ItemRect(empty).center());
        QCOMPARE(adapter.dblClicked.size(), size_t{2});
        QCOMPARE(adapter.dblClicked[1], empty);
    }

    void contextMenusCarryTheItem() {
        view->SetItemExpanded(list1, true);
        const QPoint onEffect = view->ItemRect(effects[1]).center();
        RightClick(view.get(), onEffect);
        RightClick(view.get(), QPoint(20, view->viewport()->height() - 4));  // below the items
        QCOMPARE(adapter.menus.size(), size_t{2});
        QCOMPARE(adapter.menus[0].first, effects[1]);
        QCOMPARE(adapter.menus[0].second, view->viewport()->mapToGlobal(onEffect));
        QCOMPARE(adapter.menus[1].first, nullptr);
        // The item right-clicked is the one the menu is about: it shows selected.
        QCOMPARE(view->SelectedItem(), effects[1]);
    }

    void contextMenuWithoutAdapterIsTheControlsEvent() {
        uitest::CRecordingHost host;
        auto* tree = new STreeView(&host);
        tree->setObjectName(QStringLiteral("trctl_test"));
        tree->resize(100, 100);
        RightClick(tree, QPoint(5, 5));
        QCOMPARE(host.events.size(), size_t{1});
        QCOMPARE(host.events[0].kind, toolkit::EventKind::ContextMenu);
        QCOMPARE(host.events[0].controlName, QStringLiteral("trctl_test"));
    }

    void codeExpandsQuietlyAndBatchesKeepState() {
        view->SetItemExpanded(list2, true);
        QVERIFY(!view->ItemRect(effects[3]).isEmpty());
        QVERIFY(adapter.toggled.empty());
        // A rebuild in one batch: items added under an expanded list show at its end.
        view->BeginUpdate();
        TreeItem* added = view->InsertItem(99, list2);
        adapter.looks[99] = {QStringLiteral("新")};
        TreeItem* list3 = view->InsertItem(100);
        TreeItem* inner = view->InsertItem(101, list3);
        view->SetItemExpanded(list3, true);
        QVERIFY(view->ItemRect(list2).isEmpty());  // nothing is laid out during the batch
        view->EndUpdate();
        QVERIFY(!view->ItemRect(added).isEmpty());
        QVERIFY(!view->ItemRect(inner).isEmpty());
        QVERIFY(view->ItemRect(effects[0]).isEmpty());  // list1 stayed collapsed
        QVERIFY(adapter.toggled.empty());
        QCOMPARE(view->ItemCount(), 11);
    }

    void removingItems() {
        view->SetItemExpanded(list1, true);
        // Hovering an effect that then goes, with its list.
        uitest::Move(view->viewport(), view->ItemRect(effects[1]).center(), Qt::NoButton);
        QCOMPARE(view->HoverItem(), effects[1]);
        view->RemoveItem(list1);
        QCOMPARE(view->HoverItem(), nullptr);
        QCOMPARE(view->ItemCount(), 4);
        QCOMPARE(view->ChildItem(nullptr, 0), list2);
        QCOMPARE(view->ItemRect(list2).top(), 0);
        view->grab();  // draws without the items that went
        view->RemoveAllItems();
        QCOMPARE(view->ItemCount(), 0);
        QCOMPARE(view->ItemAt(QPoint(10, 5)), nullptr);
    }

    // The roles as drawn on the dark theme: the current item keeps the accent ("#00F6FF") under
    // the mouse and when selected, the text reads on every background.
    void rolesAreDrawnInTheThemesColours() {
        view->SetItemExpanded(list1, true);
        adapter.looks[STreeView::ItemData(effects[0])].current = true;
        adapter.looks[STreeView::ItemData(effects[1])].downloaded = true;
        view->RedrawItem(nullptr);
        const auto sample = [&](TreeItem* item) {
            const QRect r = view->ItemRect(item);
            return PixelAt(view.get(), QPoint(r.right() - 8, r.center().y()));
        };
        const QColor accent(0x00, 0xF6, 0xFF);
        QCOMPARE(sample(effects[0]), accent);
        const QColor plain = sample(effects[2]);
        QVERIFY(plain != accent);
        // Hover and selection change a plain item's background, never the current one's.
        uitest::Move(view->viewport(), view->ItemRect(effects[2]).center(), Qt::NoButton);
        const QColor hovered = sample(effects[2]);
        QVERIFY(hovered != plain);
        uitest::Move(view->viewport(), view->ItemRect(effects[0]).center(), Qt::NoButton);
        QCOMPARE(sample(effects[0]), accent);
        view->setCurrentIndex(view->model()->index(0, 0, view->model()->index(0, 0)));
        QCOMPARE(sample(effects[0]), accent);
        // Text is drawn: the darkest and brightest pixels of a row differ clearly, and the
        // downloaded effect's text is dimmer than a plain one's.
        const auto textContrast = [&](TreeItem* item, bool brightest) {
            const QImage img = view->viewport()->grab(view->ItemRect(item)).toImage();
            int best = brightest ? 0 : 255;
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < img.width(); ++x) {
                    const int v = qGray(img.pixel(x, y));
                    best = brightest ? std::max(best, v) : std::min(best, v);
                }
            }
            return best;
        };
        uitest::Move(view->viewport(), QPoint(5, view->viewport()->height() - 2), Qt::NoButton);
        view->clearSelection();
        QVERIFY(textContrast(effects[2], true) - qGray(plain.rgb()) > 120);
        QVERIFY(textContrast(effects[1], true) < textContrast(effects[2], true));
        QVERIFY(qGray(accent.rgb()) - textContrast(effects[0], false) > 120);
    }

    void longTextsAreShortenedNotCut() {
        adapter.looks[STreeView::ItemData(list1)].text = QString(60, QChar(u'长'));
        view->RedrawItem(list1);
        // The right margin stays free of text.
        const QRect r = view->ItemRect(list1);
        const QImage img = view->viewport()->grab(r).toImage();
        const QColor bg = img.pixelColor(img.width() - 2, img.height() / 2);
        for (int y = 0; y < img.height(); ++y) {
            QCOMPARE(img.pixelColor(img.width() - 3, y), bg);
        }
    }
};

QTEST_MAIN(TestTreeView)
#include "tst_tree_view.moc"
