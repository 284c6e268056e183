// lyntctl's commands carried out by the panel: the effects page follows them as it follows the
// user's own clicks, and a send the card does not take answers as lyntctl alone would.
#include <QAbstractButton>
#include <QLabel>
#include <QTest>

#include "../core/TempDir.h"
#include "../effects/OpenCard.h"
#include "CloudSim.h"
#include "MoodConfig.h"
#include "PanelExecutor.h"
#include "PanelRequests.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "app/ui/AppLayouts.h"
#include "ccm_util/AppMessages.h"
#include "ccm_util/Dispatcher.h"
#include "effects/ui/EventHandlerEffect.h"
#include "toolkit/HostWindow.h"
#include "toolkit/QtDispatcher.h"
#include "toolkit/Toolkit.h"
#include "widgets/Widgets.h"

namespace {

class CCollectedReply : public platform::instance::IPanelReply {
public:
    void Send(const std::string& line) override { lines.push_back(line); }
    void Finish() override { finished = true; }
    void OnClosed(std::function<void()> handler) override { closed = std::move(handler); }
    std::vector<std::string> lines;
    bool finished = false;
    std::function<void()> closed;
};

std::string Body(std::vector<std::string> words) {
    const std::string framed = ctl::EncodeRequest({std::move(words), false, false});
    return framed.substr(framed.find('\n') + 1);
}

}  // namespace

class TestPanelCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        toolkit::Initialize();
        widgets::RegisterWidgets();
        RegisterAppLayouts();
    }

    void effectThroughThePanelShowsOnThePageAndReportsWhatTheCardDidNotTake() {
        TempDir dir;
        CWorkSpace ws(dir.Path() / "LyntConfigData.db", dir.Path());
        COpenCard card;  // open, but takes no frame
        CQVAudioProtocol protocol;
        ws.SetDevice(&card, &protocol);
        ws.SetConnected(true);
        toolkit::CHostWindow window(QStringLiteral("LAYOUT:XML_MAINWND"));
        CEventHandlerEffect page(&ws);
        page.Setup(window);
        std::atomic<int> loading{0};
        ctl::CPanelExecutor executor(ws, protocol, card::CInlineCardWorker::Instance(), loading);

        auto reply = std::make_shared<CCollectedReply>();
        executor.Run(Body({"effect", "1"}), reply);
        QCOMPARE(window.FindChildByName<QLabel>(QStringLiteral("txt_eff_title"))->text(),
                 QStringLiteral("当前音效：户外"));
        QVERIFY(window.FindChildByID<QAbstractButton>(10001)->isChecked());
        QVERIFY(reply->finished);
        QCOMPARE(reply->lines.back(), std::string(R"({"status":3})"));
        QCOMPARE(reply->lines.front(), std::string(R"({"err":"the card did not take effect\n"})"));

        // The direct mode's checks come first: nothing is sent for a bad request.
        auto bad = std::make_shared<CCollectedReply>();
        executor.Run(Body({"effect", "nowhere"}), bad);
        QCOMPARE(bad->lines.back(), std::string(R"({"status":1})"));
        ws.SetDevice(nullptr, nullptr);
    }

    // save-effect through the panel: the "我的音效" buttons show the new name at once, as after
    // the page's own save dialog.
    void saveEffectThroughThePanelRenamesItsButton() {
        TempDir dir;
        CWorkSpace ws(dir.Path() / "LyntConfigData.db", dir.Path());
        COpenCard card;
        CQVAudioProtocol protocol;
        ws.SetDevice(&card, &protocol);
        ws.SetConnected(true);
        toolkit::CHostWindow window(QStringLiteral("LAYOUT:XML_MAINWND"));
        CEventHandlerEffect page(&ws);
        page.Setup(window);
        std::atomic<int> loading{0};
        ctl::CPanelExecutor executor(ws, protocol, card::CInlineCardWorker::Instance(), loading);
        auto* first = window.FindChildByID<QAbstractButton>(
            CEventHandlerEffect::kEffectButtonFirst + CEventHandlerEffect::kDeviceEffectButtons);
        QVERIFY(first);
        QVERIFY(first->text() != QStringLiteral("舞台"));

        auto reply = std::make_shared<CCollectedReply>();
        executor.Run(Body({"save-effect", "0", "舞台"}), reply);
        QVERIFY(reply->finished);
        QCOMPARE(reply->lines.back(), std::string(R"({"status":0})"));
        QCOMPARE(first->text(), QStringLiteral("舞台"));
        ws.SetDevice(nullptr, nullptr);
    }

    // lyntctl cloud sound while the panel runs: the panel downloads the clip and adds it to its
    // own lists, so a favourite the user added meanwhile is in the file too.
    void cloudSoundGoesIntoThePanelsOwnStore() {
        TempDir dir;
        toolkit::CQtDispatcher dispatcher;
        ccm_util::CScopedDispatcher scoped(&dispatcher);
        cloudsim::SimOptions options;
        options.slowFileMs = 600;
        options.faults["sound-file"] = cloudsim::Fault::kSlowFile;
        cloudsim::CCloudSim sim(std::move(options));
        QVERIFY(sim.Start(0));
        sound::CMoodConfig store;
        QVERIFY(store.Init(dir.Path() / sound::CMoodConfig::kFileName));
        CWorkSpace ws(dir.Path() / "LyntConfigData.db", dir.Path());
        CQVAudioProtocol protocol;
        std::atomic<int> loading{0};
        ctl::CPanelExecutor executor(ws, protocol, card::CInlineCardWorker::Instance(), loading);
        executor.SetSoundStore(&store, dir.Path(), sim.BaseUrl());
        auto reply = std::make_shared<CCollectedReply>();
        executor.Run(Body({"cloud", "sound", "201"}), reply);
        // The user's own change while the clip downloads.
        QVERIFY(store.AddFavourite(sound::BuiltinClipItem(3)));
        QTRY_VERIFY_WITH_TIMEOUT(reply->finished, 20000);
        QCOMPARE(reply->lines.back(), std::string(R"({"status":0})"));
        const auto file = dir.Path() / "CloudSound" / "201.mp3";
        QVERIFY(std::filesystem::exists(file));
        sound::CMoodConfig reread;
        QVERIFY(reread.Init(store.Path()));
        QVERIFY(reread.IsFavourite(sound::BuiltinClipItem(3)));
        QVERIFY(reread.FindDownloaded(201).has_value());
        // No copy of the file is left behind.
        for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
            QVERIFY2(e.path().string().find("lyntctl") == std::string::npos, e.path().c_str());
        }
    }

    // lyntctl pad: the answer is the player's outcome. Only a pad that plays (or a stop) is a
    // success; a clip that did not start is status 3, a closed window status 2; a name is looked
    // up in the panel's own favourites; the player is asked for nothing on a bad request.
    void padAnswersWithWhatThePlayerDid() {
        TempDir dir;
        sound::CMoodConfig store;
        QVERIFY(store.Init(dir.Path() / sound::CMoodConfig::kFileName));
        for (int clip = 0; clip < 3; ++clip)
            QVERIFY(store.AddFavourite(sound::BuiltinClipItem(clip)));
        CWorkSpace ws(dir.Path() / "LyntConfigData.db", dir.Path());
        CQVAudioProtocol protocol;
        std::atomic<int> loading{0};
        ctl::CPanelExecutor executor(ws, protocol, card::CInlineCardWorker::Instance(), loading);
        executor.SetSoundStore(&store, dir.Path(), {});
        std::vector<uint64_t> asked;
        sound::PadOutcome outcome = sound::PadOutcome::Playing;
        executor.SetPadPlayer([&](uint64_t which) {
            asked.push_back(which);
            return outcome;
        });
        auto run = [&](std::vector<std::string> words) {
            auto reply = std::make_shared<CCollectedReply>();
            executor.Run(Body(std::move(words)), reply);
            if (!reply->finished || reply->lines.empty())
                return std::string("unfinished");
            return reply->lines.back();
        };
        QCOMPARE(run({"pad", "2"}), std::string(R"({"status":0})"));
        QCOMPARE(run({"pad", "--stop"}), std::string(R"({"status":0})"));
        QCOMPARE(asked, (std::vector<uint64_t>{2, kSoundPadStop}));
        QCOMPARE(run({"pad", "小哄笑"}), std::string(R"({"status":0})"));
        QCOMPARE(asked.back(), uint64_t(1));

        asked.clear();
        QCOMPARE(run({"pad", "99"}), std::string(R"({"status":1})"));
        QCOMPARE(run({"pad"}), std::string(R"({"status":1})"));
        QCOMPARE(run({"pad", "1", "2"}), std::string(R"({"status":1})"));
        QVERIFY(asked.empty());

        for (auto failed : {sound::PadOutcome::ClipMissing, sound::PadOutcome::Fetching,
                            sound::PadOutcome::Failed}) {
            outcome = failed;
            QCOMPARE(run({"pad", "0"}), std::string(R"({"status":3})"));
        }
        outcome = sound::PadOutcome::NoPlayer;
        QCOMPARE(run({"pad", "0"}), std::string(R"({"status":2})"));
    }
};

QTEST_MAIN(TestPanelCommands)
#include "tst_panel_commands.moc"
