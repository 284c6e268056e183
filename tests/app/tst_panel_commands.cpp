// lyntctl's commands carried out by the panel: the effects page follows them as it follows the
// user's own clicks, and a send the card does not take answers as lyntctl alone would.
#include <QAbstractButton>
#include <QLabel>
#include <QtTest>

#include "../core/TempDir.h"
#include "../effects/OpenCard.h"
#include "PanelExecutor.h"
#include "PanelRequests.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "app/ui/AppLayouts.h"
#include "effects/ui/EventHandlerEffect.h"
#include "toolkit/HostWindow.h"
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
};

QTEST_MAIN(TestPanelCommands)
#include "tst_panel_commands.moc"
