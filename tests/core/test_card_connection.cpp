#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "CardConnection.h"
#include "CardFixture.h"
#include "CardWorker.h"
#include "ConnectionEvents.h"
#include "FakeDeviceNotifier.h"
#include "FramesLog.h"
#include "ParamEntries.h"
#include "TestWaits.h"
#include "UdevDeviceNotifier.h"
#include "WorkSpace.h"
#include "common/Device/HidDevice/DeviceLock.h"
#include "common/Device/VirtualCard/VirtualCardDevice.h"

namespace {

using namespace std::chrono;
using card::Frame;

class ConnectionTest : public CardFixture {
protected:
    void ConfigureCard(vcard::ServerOptions& o) override { o.framesLog = dir.Path() / "frames.log"; }

    // The keep-alive's waits, shortened: an idle threshold of the capped reply time-out plus a
    // second, checked every 20 ms.
    static constexpr auto kBeyondIdle = milliseconds(1500);

    void SetUp() override {
        openOnSetUp = false;
        CardFixture::SetUp();
        protocol.SetReplyTimeoutLimit(100);
        builder.GetManager()->SetIdleFloor(100);
        ::setenv(CVirtualCardDevice::kFolderVariable, dir.Path().c_str(), 1);
        workspace = std::make_unique<CWorkSpace>(dir.Path() / "LyntConfigData.db", dir.Path());
        connection = std::make_unique<CCardConnection>(builder, protocol, *workspace, loadingEffect);
        connection->SetKeepAlivePeriod(20);
        notifier.Start(connection.get());
        events = ccm_util::CEventSubscription::Of<EventDeviceChanged>(
            [this](const EventDeviceChanged&) { changes.push_back(connection->IsConnected()); });
    }

    void TearDown() override {
        notifier.Stop();
        connection.reset();
        ::unsetenv(CVirtualCardDevice::kFolderVariable);
        CardFixture::TearDown();
    }

    // Host frames since the last Forget().
    std::vector<std::array<uint8_t, 64>> Host(int code = -1) {
        auto all = HostFrames(options.framesLog);
        std::vector<std::array<uint8_t, 64>> out;
        for (size_t i = forgotten; i < all.size(); ++i) {
            if (code < 0 || all[i][0] == code) out.push_back(all[i]);
        }
        return out;
    }
    void Forget() { forgotten = HostFrames(options.framesLog).size(); }
    size_t forgotten = 0;

    // The codes the host sent, in order.
    std::vector<int> HostCodes() {
        std::vector<int> codes;
        for (const auto& f : Host()) codes.push_back(f[0]);
        return codes;
    }

    // What the full push sent: ids and values of every CMD_SET_PARAMS entry.
    std::map<int, int> PushedParams() {
        std::map<int, int> pushed;
        for (const auto& f : Host(card::CMD_SET_PARAMS)) {
            card::DecodeParamEntries(f, [&](const card::ParamEntry& e) { pushed[e.id] = e.value; });
        }
        return pushed;
    }

    void ExpectStartupSequence() {
        std::vector<int> codes = HostCodes();
        ASSERT_GE(codes.size(), 5u);
        EXPECT_EQ(codes[0], card::CMD_KEY_EXCHANGE);
        EXPECT_EQ(codes[1], card::CMD_HOST_STATE);
        EXPECT_EQ(Host(card::CMD_HOST_STATE)[0][4], 1);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), card::CMD_KEY_EXCHANGE), 1);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), card::CMD_HOST_STATE), 1);
        auto pushed = PushedParams();
        EXPECT_EQ(pushed.size(), 47u);
        for (int id = 0; id < 47; ++id) {
            EXPECT_EQ(pushed[id], workspace->GetParam(id)) << id;
        }
        EXPECT_EQ(ReadCard([](auto& m) { return m.Params()[30]; }), workspace->GetParam(30));
    }

    std::atomic<int> loadingEffect{0};
    std::unique_ptr<CWorkSpace> workspace;
    std::unique_ptr<CCardConnection> connection;
    CFakeDeviceNotifier notifier;
    ccm_util::CEventSubscription events;
    std::vector<bool> changes;
};

TEST_F(ConnectionTest, StartupWithTheCardRunsTheSessionExchange) {
    ASSERT_TRUE(connection->Startup());
    EXPECT_TRUE(workspace->IsConnected());
    EXPECT_TRUE(workspace->IsStarted());
    EXPECT_TRUE(connection->KeepAliveRunning());
    ExpectStartupSequence();
    // The window, if there is one yet, learns of the answer through the one event.
    EXPECT_EQ(changes, std::vector<bool>{true});
}

TEST_F(ConnectionTest, KeepAliveSendsHostStateWhenIdle) {
    ASSERT_TRUE(connection->Startup());
    size_t before = Host(card::CMD_HOST_STATE).size();
    ASSERT_TRUE(WaitUntil([&] { return Host(card::CMD_HOST_STATE).size() > before; }));
    EXPECT_EQ(Host(card::CMD_HOST_STATE).back()[4], 1);
}

TEST_F(ConnectionTest, KeepAliveIsSilentWhileAClipLoadsAndOnceTheSessionEnded) {
    loadingEffect = 1;
    ASSERT_TRUE(connection->Startup());
    size_t before = Host(card::CMD_HOST_STATE).size();
    std::this_thread::sleep_for(kBeyondIdle);
    EXPECT_EQ(Host(card::CMD_HOST_STATE).size(), before);

    // After the goodbye nothing may tell the card the panel is back.
    loadingEffect = 0;
    connection->EndSession();
    EXPECT_FALSE(connection->KeepAliveRunning());
    std::this_thread::sleep_for(kBeyondIdle);
    EXPECT_EQ(Host(card::CMD_HOST_STATE).back()[4], 0);
    // The next session brings it back.
    ASSERT_TRUE(connection->StartSession());
    EXPECT_TRUE(connection->KeepAliveRunning());
}

TEST_F(ConnectionTest, ArrivalAfterStartConnectsAndTellsTheUi) {
    // Start without the card: it is unplugged, then comes back.
    card->Unplug();
    EXPECT_FALSE(connection->Startup());
    ASSERT_TRUE(card->Plug());
    Forget();

    notifier.Arrive(card->DevicePath());
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !changes.empty(); }, 3000));
    EXPECT_EQ(changes, std::vector<bool>{true});
    ExpectStartupSequence();
}

TEST_F(ConnectionTest, RemovalDetachesSendsNothingAndTellsTheUi) {
    ASSERT_TRUE(connection->Startup());
    changes.clear();
    size_t framesBefore = Host().size();
    // Paths compare without regard to case.
    std::string path = card->DevicePath();
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    card->Unplug();
    notifier.Remove(path);
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !changes.empty(); }, 3000));
    EXPECT_EQ(changes, std::vector<bool>{false});
    EXPECT_FALSE(builder.GetManager()->IsOpen());
    EXPECT_FALSE(connection->KeepAliveRunning());
    EXPECT_EQ(Host().size(), framesBefore);
}

// A firmware upgrade lets go of the card through Disconnect: the window must learn of it (it
// stayed live without its "no card" cover), as it does of an unplug.
TEST_F(ConnectionTest, DisconnectTellsTheUi) {
    ASSERT_TRUE(connection->Startup());
    changes.clear();
    connection->Disconnect();
    EXPECT_EQ(changes, std::vector<bool>{false});
    EXPECT_FALSE(builder.GetManager()->IsOpen());
    EXPECT_FALSE(connection->KeepAliveRunning());
}

TEST_F(ConnectionTest, OtherDevicesAndSecondCardsAreIgnored) {
    ASSERT_TRUE(connection->Startup());
    changes.clear();
    notifier.Remove("vcard:/elsewhere/#VID_2B53&PID_0041#5");
    notifier.Arrive("vcard:/elsewhere/#VID_2B53&PID_0041#6");  // a second card while one is open
    notifier.Arrive("/dev/hidraw99");                          // not ours
    dispatcher.PumpFor(300);
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(connection->IsConnected());
}

TEST_F(ConnectionTest, EndSessionSavesTheEffectAndSaysGoodbye) {
    ASSERT_TRUE(connection->Startup());
    workspace->SetParam(30, 42);
    EXPECT_TRUE(connection->EndSession());
    EXPECT_FALSE(workspace->IsConnected());
    auto states = Host(card::CMD_HOST_STATE);
    EXPECT_EQ(states.back()[4], 0);
    EXPECT_EQ(ReadCard([](auto& m) { return m.HostState(); }), 0);
    EXPECT_EQ(ReadCard([](auto& m) { return m.KeyExchanges(); }), 2);

    // The next start finds the effect as it was left.
    CWorkSpace again(dir.Path() / "LyntConfigData.db", dir.Path());
    EXPECT_EQ(again.GetParam(30), 42);
}

TEST_F(ConnectionTest, ACardThatDoesNotAnswerStaysAttachedButNotConnected) {
    card->SetDropRepliesPct(100);
    EXPECT_FALSE(connection->Startup());
    EXPECT_TRUE(builder.GetManager()->IsOpen());
    EXPECT_FALSE(workspace->IsConnected());
    EXPECT_TRUE(Host(card::CMD_SET_PARAMS).empty());
}

// With the panel's card worker: opening a node that is slow to open (its access not set yet, here
// a card whose descriptor comes late) happens on the worker; the UI thread says "connecting".
class ConnectionWorkerTest : public ConnectionTest {
protected:
    void ConfigureCard(vcard::ServerOptions& o) override {
        ConnectionTest::ConfigureCard(o);
        o.openDelayMs = kOpenDelayMs;
    }
    void SetUp() override {
        ConnectionTest::SetUp();
        connection->SetCardWorker(&worker);
    }
    void TearDown() override {
        connection->SetCardWorker(nullptr);
        ConnectionTest::TearDown();
    }
    // Measures how long the UI thread is held by one call.
    template <typename Fn>
    static milliseconds Held(Fn fn) {
        const auto start = steady_clock::now();
        fn();
        return duration_cast<milliseconds>(steady_clock::now() - start);
    }

    static constexpr int kOpenDelayMs = 600;
    card::CCardWorker worker;
};

TEST_F(ConnectionWorkerTest, ACardPluggedIsOpenedOffTheUiThread) {
    card->Unplug();
    connection->Startup();
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !connection->IsConnecting(); }, 3000));
    changes.clear();
    ASSERT_TRUE(card->Plug());
    EXPECT_LT(Held([&] {
                  notifier.Arrive(card->DevicePath());
                  dispatcher.Pump();
              }),
              milliseconds(kOpenDelayMs / 2));
    EXPECT_TRUE(connection->IsConnecting());
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_EQ(changes, std::vector<bool>{false}) << "the window is told it is connecting";
    // A second arrival of the same card meanwhile starts no second open.
    notifier.Arrive(card->DevicePath());
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return connection->IsConnected(); }, 5000));
    EXPECT_FALSE(connection->IsConnecting());
    EXPECT_EQ(changes.back(), true);
    EXPECT_EQ(ReadCard([](auto& m) { return m.KeyExchanges(); }), 1);
    EXPECT_TRUE(connection->KeepAliveRunning());
}

TEST_F(ConnectionWorkerTest, ACardThatLeavesWhileBeingOpenedIsLetGo) {
    card->Unplug();
    connection->Startup();
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !connection->IsConnecting(); }, 3000));
    ASSERT_TRUE(card->Plug());
    notifier.Arrive(card->DevicePath());
    dispatcher.Pump();
    ASSERT_TRUE(connection->IsConnecting());
    card->Unplug();
    notifier.Remove(card->DevicePath());
    ASSERT_TRUE(WaitUntil([&] {
        dispatcher.Pump();
        return worker.Outstanding() == 0 && !connection->IsConnecting();
    }));
    dispatcher.PumpFor(100);
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_FALSE(builder.GetManager()->IsOpen());
    EXPECT_FALSE(connection->KeepAliveRunning());
}

// Another program holds the card (lyntctl alone, a panel of another runtime folder): the panel
// waits, naming it, sends nothing meanwhile, and takes the card once it is let go.
class ConnectionHeldTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        connection->SetCardWorker(&worker);
        connection->SetBusyRetryPeriod(20);
        // What lyntctl alone locks: a file beside the virtual card's socket.
        const int fd = ::open((dir.Path() / ".#VID_2B53&PID_0041#0.lock").c_str(),
                              O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_EQ(other.TryLock(fd), 0);
    }
    void TearDown() override {
        connection->SetCardWorker(nullptr);
        ConnectionTest::TearDown();
    }
    // This process, as /proc/locks names it.
    static std::string Us() {
        std::string name;
        std::ifstream("/proc/self/comm") >> name;
        return name + " (pid " + std::to_string(::getpid()) + ")";
    }
    void Idle(int ms) {
        dispatcher.PumpUntil([] { return false; }, ms);
    }

    CDeviceLock other;
    card::CCardWorker worker;
};

TEST_F(ConnectionHeldTest, TheCardIsTakenOnceItsHolderLetsGo) {
    connection->Startup();
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !connection->BusyHolder().empty(); }, 3000));
    EXPECT_EQ(connection->BusyHolder(), Us());
    EXPECT_TRUE(connection->IsConnecting()) << "the window says it waits";
    Idle(300);  // many looks at the lock
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_EQ(connection->BusyHolder(), Us());
    EXPECT_TRUE(Host().empty()) << "nothing reaches a card another program uses";
    EXPECT_EQ(changes, (std::vector<bool>{false, false})) << "told of the wait once";

    other.Release();
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return connection->IsConnected(); }, 3000));
    EXPECT_EQ(connection->BusyHolder(), "");
    EXPECT_FALSE(connection->IsConnecting());
    ExpectStartupSequence();
}

TEST_F(ConnectionHeldTest, ACardThatLeavesWhileHeldEndsTheWait) {
    connection->Startup();
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !connection->BusyHolder().empty(); }, 3000));
    card->Unplug();
    notifier.Remove(card->DevicePath());
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !connection->IsConnecting(); }, 3000));
    EXPECT_EQ(connection->BusyHolder(), "");
    EXPECT_EQ(changes.back(), false);
    // Once it is let go, nothing is taken: the card is gone; back, it is taken as any arrival.
    other.Release();
    ASSERT_TRUE(WaitUntil([&] {
        dispatcher.Pump();
        return worker.Outstanding() == 0 && dispatcher.Pending() == 0;
    }));
    EXPECT_FALSE(builder.GetManager()->IsOpen());
    ASSERT_TRUE(card->Plug());
    notifier.Arrive(card->DevicePath());
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return connection->IsConnected(); }, 3000));
}

// Two cards: the second, plugged while the first is connected, is ignored until the first
// leaves, and is then taken without being plugged again.
TEST_F(ConnectionTest, TheOtherCardIsTakenWhenTheConnectedOneLeaves) {
    vcard::ServerOptions o;
    o.socketPath = dir.Path() / "#VID_2B53&PID_0041#1";
    vcard::CVirtualCardServer second(o);
    ASSERT_TRUE(connection->Startup());
    ASSERT_TRUE(second.Start());
    notifier.Arrive(second.DevicePath());
    dispatcher.PumpFor(100);
    auto exchanges = [](vcard::CVirtualCardServer& c) {
        int n = 0;
        c.Inspect([&](const vcard::CCardModel& m) { n = m.KeyExchanges(); });
        return n;
    };
    EXPECT_EQ(exchanges(second), 0) << "the connected card stays the one";
    changes.clear();

    card->Unplug();
    notifier.Remove(card->DevicePath());
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return changes.size() >= 2; }, 3000));
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
    EXPECT_TRUE(connection->IsConnected());
    EXPECT_EQ(exchanges(second), 1);
    int hostState = -1;
    second.Inspect([&](const vcard::CCardModel& m) { hostState = m.HostState(); });
    EXPECT_EQ(hostState, 1);

    // And when that one leaves too, nothing is left to take.
    second.Unplug();
    notifier.Remove(second.DevicePath());
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return changes.size() >= 3; }, 3000));
    dispatcher.PumpFor(100);
    EXPECT_FALSE(connection->IsConnected());
    EXPECT_FALSE(builder.GetManager()->IsOpen());
    connection.reset();  // before the second card goes
}

TEST(DeviceNotifier, SeesVirtualCardsComeAndGo) {
    TempDir dir;
    ccm_util::CManualDispatcher dispatcher;
    ccm_util::CScopedDispatcher scoped(&dispatcher);
    ::setenv(CVirtualCardDevice::kFolderVariable, dir.Path().c_str(), 1);

    struct Recorder : IDevicePnpNotificationReceiver {
        void OnDevicePnp(bool removed, const std::string& path) override {
            seen.emplace_back(removed, path);
        }
        std::vector<std::pair<bool, std::string>> seen;
    } recorder;
    CUdevDeviceNotifier notifier;
    ASSERT_TRUE(notifier.Start(&recorder));

    vcard::ServerOptions o;
    o.socketPath = dir.Path() / "#VID_2B53&PID_0041#0";
    vcard::CVirtualCardServer card(o);
    ASSERT_TRUE(card.Start());
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !recorder.seen.empty(); }, 3000));
    EXPECT_EQ(recorder.seen[0], std::make_pair(false, card.DevicePath()));

    card.Unplug();
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return recorder.seen.size() >= 2; }, 3000));
    EXPECT_EQ(recorder.seen.back(), std::make_pair(true, card.DevicePath()));

    // Nothing reaches the receiver once the notifier stopped, even if already queued.
    card.Plug();
    std::this_thread::sleep_for(milliseconds(100));
    notifier.Stop();
    size_t seen = recorder.seen.size();
    dispatcher.Pump();
    EXPECT_EQ(recorder.seen.size(), seen);
    ::unsetenv(CVirtualCardDevice::kFolderVariable);
}

}  // namespace
