// The "云音效" tab on the real main-window layout, against the cloud stand-in and a workspace
// without a card: the list fetch with its animation and failure panel, the tree and its marks,
// downloads that use or store the effect, and a refresh while a download runs.
#include <QAbstractButton>
#include <QTest>

#include "../core/TempDir.h"
#include "CloudEffectFiles.h"
#include "CloudSim.h"
#include "EffectStore.h"
#include "WorkSpace.h"
#include "app/ui/AppLayouts.h"
#include "ccm_util/Dispatcher.h"
#include "effects/ui/CloudEffectPanel.h"
#include "effects/ui/EventHandlerEffect.h"
#include "toolkit/HostWindow.h"
#include "toolkit/QtDispatcher.h"
#include "toolkit/STreeView.h"
#include "toolkit/Toolkit.h"
#include "widgets/CTipWnd.h"
#include "widgets/Widgets.h"

using Adapter = effects::ui::CCloudEffectListTreeViewAdapter;

class CPageHost : public toolkit::CHostWindow {
public:
    CPageHost() : toolkit::CHostWindow(QStringLiteral("LAYOUT:XML_MAINWND")) {}
};

class TestCloudEffectsTab : public QObject {
    Q_OBJECT

private:
    // The workers' end events reach the UI thread as in the program.
    toolkit::CQtDispatcher m_dispatcher;
    ccm_util::CScopedDispatcher m_scope{&m_dispatcher};
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<cloudsim::CCloudSim> m_sim;
    std::unique_ptr<CWorkSpace> m_ws;
    std::unique_ptr<CPageHost> m_window;
    std::unique_ptr<CEventHandlerEffect> m_page;

    void Open(cloudsim::SimOptions options = {}) {
        m_sim = std::make_unique<cloudsim::CCloudSim>(std::move(options));
        QVERIFY(m_sim->Start(0));
        qputenv("VELORA_CLOUD_URL", QByteArray::fromStdString(m_sim->BaseUrl()));
        m_window = std::make_unique<CPageHost>();
        m_page = std::make_unique<CEventHandlerEffect>(m_ws.get());
        m_page->Setup(*m_window);
        QVERIFY(m_page->CloudPanel());
    }

    effects::ui::CCloudEffectPanel& Panel() { return *m_page->CloudPanel(); }
    Adapter& Tree() { return Panel().Adapter(); }
    STreeView* View() {
        return m_window->FindChildByName<STreeView>(QStringLiteral("trctl_cloud_effectt"));
    }
    QWidget* Named(const char* name) { return m_window->FindChildByName(QString::fromUtf8(name)); }
    // Shown on its page, whichever tab is in front.
    bool Shown(const char* name) { return !Named(name)->isHidden(); }

    bool WaitFetched() {
        return QTest::qWaitFor([this] { return !Panel().Library().IsFetching(); }, 15000);
    }
    bool WaitDownloads() {
        return QTest::qWaitFor([this] { return Panel().Library().DownloadsRunning() == 0; },
                               15000);
    }
    Adapter::Node* Leaf(size_t category, size_t index) {
        return Tree().Root().children.at(category)->children.at(index).get();
    }
    QString Text(const Adapter::Node* node) { return Tree().GetItemLook(node->item).text; }
    std::filesystem::path Data() { return m_dir->Path() / "Velora"; }

private slots:
    void initTestCase() {
        toolkit::Initialize();
        widgets::RegisterWidgets();
        RegisterAppLayouts();
    }

    void init() {
        m_dir = std::make_unique<TempDir>();
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_dir->Path().string()));
        std::filesystem::create_directories(Data());
        m_ws = std::make_unique<CWorkSpace>(Data() / "LyntConfigData.db", Data());
    }

    void cleanup() {
        m_page.reset();
        m_window.reset();
        m_ws.reset();
        m_sim.reset();
        m_dir.reset();
    }

    // Categories in the order of their first effect, expanded, with their counts; "&" shown
    // once though the list keeps it doubled; the animation goes once the tree is there.
    void theTreeShowsTheCloudList() {
        Open();
        QVERIFY(Shown("ani_fetch_cloud_eff"));
        QVERIFY(WaitFetched());
        QVERIFY(!Shown("ani_fetch_cloud_eff"));
        QVERIFY(!Shown("wnd_cloud_eff_refresh"));
        QCOMPARE(View()->ChildCount(nullptr), 3);
        QCOMPARE(View()->ItemCount(), 7);
        const auto& root = Tree().Root();
        QCOMPARE(Tree().GetItemLook(root.children[0]->item).text, QStringLiteral("男声 [2]"));
        QCOMPARE(Tree().GetItemLook(root.children[2]->item).text,
                 QStringLiteral("特效 & 变声 [1]"));
        QVERIFY(STreeView::IsItemExpanded(root.children[0]->item));
        QCOMPARE(Text(Leaf(0, 1)), QStringLiteral("明亮"));
        QVERIFY(Leaf(2, 0)->localPath == Data() / "CloudEff" / "特效 && 变声" / "4.eff");
    }

    // A failed fetch shows the failure panel a second later; "重试" fetches again; an answer
    // without "data" is an empty tree and no failure.
    void aFailedFetchShowsTheFailurePanelAndRetryFetchesAgain() {
        cloudsim::SimOptions options;
        options.faults["effects"] = cloudsim::Fault::kNotFound;
        Open(std::move(options));
        QVERIFY(WaitFetched());
        QVERIFY(m_window->IsTimerRunning(1005));
        QVERIFY(!Shown("wnd_cloud_eff_refresh"));
        QVERIFY(QTest::qWaitFor(
            [this] { return Shown("wnd_cloud_eff_refresh"); }, 3000));
        QVERIFY(!Shown("ani_fetch_cloud_eff"));
        QVERIFY(!m_window->IsTimerRunning(1005));

        m_sim->SetFault("effects", cloudsim::Fault::kNoData);
        auto* retry = m_window->FindChildByName<QAbstractButton>(QStringLiteral("btn_cloud_retry"));
        QCOMPARE(retry->text(), QStringLiteral("重试"));
        retry->click();
        QVERIFY(!Shown("wnd_cloud_eff_refresh"));
        QVERIFY(WaitFetched());
        QCOMPARE(View()->ItemCount(), 0);
        QTest::qWait(1200);
        QVERIFY(!Shown("wnd_cloud_eff_refresh"));
        QVERIFY(!Shown("ani_fetch_cloud_eff"));
        QCOMPARE(m_sim->Requests("/api/effect_sound/"), size_t{2});
    }

    // A double-click downloads once and then asks the page to use the file (no card here: the
    // use fails with its tip); the effect is drawn as downloaded and marked current when the
    // page's current effect is its file.
    void aDoubleClickDownloadsAndUsesTheEffect() {
        Open();
        QVERIFY(WaitFetched());
        Adapter::Node* leaf = Leaf(1, 0);  // 女声 / 甜美 / 3.eff
        QVERIFY(!Tree().GetItemLook(leaf->item).downloaded);
        QVERIFY(Tree().MenuCommands(leaf) == (std::vector<int>{201, 202, 98, 99}));
        QVERIFY(Tree().MenuCommands(Tree().Root().children[0].get()) == (std::vector<int>{98}));
        Tree().OnItemDblClick(leaf->item);
        QVERIFY(WaitDownloads());
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("甜美音效使用失败!"));
        QVERIFY(CTipWnd::Instance()->IsWarning());
        QVERIFY(Tree().GetItemLook(leaf->item).downloaded);
        QVERIFY(Tree().MenuCommands(leaf) == (std::vector<int>{201, 202, 98}));
        QCOMPARE(m_ws->DownloadedEffects().size(), size_t{1});
        QCOMPARE(model::CEffectStore(Data() / "LyntConfigData.db").ReadDownloadedEffects().size(),
                 size_t{1});
        // Downloaded once: the next double-click goes straight to the page.
        CTipWnd::Instance()->hide();
        Tree().OnItemDblClick(leaf->item);
        QCOMPARE(Panel().Library().DownloadsRunning(), size_t{0});
        QCOMPARE(m_sim->Requests("/files/effect/"), size_t{1});

        m_ws->SetFileEffect(u"甜美", leaf->localPath);
        m_page->RefreshEffectView();
        QVERIFY(Tree().GetItemLook(leaf->item).current);
        QVERIFY(!Tree().GetItemLook(Leaf(0, 0)->item).current);
    }

    // "遥控器自定义1" on an effect not downloaded downloads it and then stores it (the page's
    // store, refused here without a card), without using it; the slot is asked for once only.
    void aSlotOnAnEffectNotDownloadedIsStoredAfterTheDownload() {
        Open();
        QVERIFY(WaitFetched());
        Adapter::Node* leaf = Leaf(0, 0);
        Tree().OnMenuCommand(leaf, Adapter::kCmdSlot1);
        QCOMPARE(Tree().PendingSlot(), 1);
        QVERIFY(WaitDownloads());
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("保存低沉音效失败!"));
        QCOMPARE(Tree().PendingSlot(), -1);
        QVERIFY(std::filesystem::is_regular_file(leaf->localPath));
        // Downloaded now: "下载音效" is no longer offered, and the next double-click uses it.
        Tree().OnItemDblClick(leaf->item);
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("低沉音效使用失败!"));
    }

    // "刷新音效" while a file downloads: the tree is emptied and fetched again; the download's
    // end finds no node, keeps its file and record and does nothing else.
    void aRefreshDuringADownloadDropsOnlyTheResult() {
        cloudsim::SimOptions options;
        options.slowFileMs = 800;
        options.faults["effect-file"] = cloudsim::Fault::kSlowFile;
        Open(std::move(options));
        QVERIFY(WaitFetched());
        Adapter::Node* leaf = Leaf(2, 0);
        const std::filesystem::path file = leaf->localPath;
        Tree().OnItemDblClick(leaf->item);
        QCOMPARE(Panel().Library().DownloadsRunning(), size_t{1});
        CTipWnd::Instance()->hide();
        Tree().OnMenuCommand(nullptr, Adapter::kCmdRefresh);
        QCOMPARE(View()->ItemCount(), 0);
        QVERIFY(WaitDownloads());
        QVERIFY(WaitFetched());
        QVERIFY(!CTipWnd::Instance()->isVisible());
        QVERIFY(std::filesystem::is_regular_file(file));
        QCOMPARE(View()->ItemCount(), 7);
        QVERIFY(Tree().GetItemLook(Leaf(2, 0)->item).downloaded);
        QCOMPARE(m_ws->DownloadedEffects().size(), size_t{1});
    }

    // A download that fails with an error page leaves nothing and says so for the clicked effect.
    void aFailedDownloadTipsAndLeavesNoFile() {
        cloudsim::SimOptions options;
        options.faults["effect-file"] = cloudsim::Fault::kNotFound;
        Open(std::move(options));
        QVERIFY(WaitFetched());
        Adapter::Node* leaf = Leaf(0, 1);
        Tree().OnMenuCommand(leaf, Adapter::kCmdDownload);
        QVERIFY(WaitDownloads());
        QCOMPARE(CTipWnd::Instance()->Text(), QStringLiteral("明亮音效下载失败"));
        QVERIFY(!std::filesystem::exists(leaf->localPath));
        QVERIFY(std::filesystem::is_empty(leaf->localPath.parent_path()));
        QCOMPARE(effects::ReadDownloadMark(Data(), u"2.eff"), 0);
    }
};

QTEST_MAIN(TestCloudEffectsTab)
#include "tst_cloud_effects_tab.moc"
