#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CardFixture.h"
#include "FramesLog.h"
#include "KeyExchange.h"
#include "Log/Log.h"
#include "QVAudioEvents.h"
#include "TestWaits.h"
#include "ccm_util/AppMessages.h"
#include "ccm_util/MessagePoster.h"
#include "common/Device/FrameChecksum.h"

namespace {

using namespace std::chrono;
using card::Frame;

class ProtocolTest : public CardFixture {
protected:
    void ConfigureCard(vcard::ServerOptions& o) override { o.framesLog = dir.Path() / "frames.log"; }

    void SetUp() override {
        CardFixture::SetUp();
        subscription = ccm_util::CEventSubscription::Of<EventRecvData>(
            [this](const EventRecvData& e) { events.push_back(e.data); });
    }

    std::vector<Frame> HostFrames(uint8_t code) { return ::HostFrames(options.framesLog, code); }

    bool WaitFor(const std::function<bool()>& done) { return dispatcher.PumpUntil(done, 2000); }

    std::vector<Frame> events;
    ccm_util::CEventSubscription subscription;
};

Frame Report(uint8_t flag, bool goodSum) {
    Frame f{};
    f[0] = card::RPT_PARAMS;
    f[3] = flag;
    f[4] = 1;
    f[5] = 30;
    f[6] = 0x10;
    f[7] = 77;
    f[63] = FrameChecksum(f.data(), 63);
    if (!goodSum) f[63] ^= 0xFF;
    return f;
}

TEST_F(ProtocolTest, AGoodReportIsAcknowledgedAndPosted) {
    card->TurnKnob(30, 77);
    ASSERT_TRUE(WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events[0][0], card::RPT_PARAMS);
    EXPECT_EQ(events[0][7], 77);
    ASSERT_TRUE(WaitFor([&] { return ReadCard([](auto& m) { return m.AcksGood(); }) == 1; }));
    auto acks = HostFrames(card::CMD_PARAMS_ACK);
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0][3], 0xFF);
    EXPECT_EQ(0, std::memcmp(acks[0].data() + 4, events[0].data() + 4, 59));
}

struct BadReport {
    const char* name;
    uint8_t flag;
    bool goodSum;
    uint8_t status;
};

void PrintTo(const BadReport& r, std::ostream* os) { *os << r.name; }

class BadReportTest : public ProtocolTest, public ::testing::WithParamInterface<BadReport> {};

TEST_P(BadReportTest, IsAcknowledgedWithItsStatusAndDropped) {
    card->SendRawFrame(Report(GetParam().flag, GetParam().goodSum));
    ASSERT_TRUE(WaitFor([&] { return HostFrames(card::CMD_PARAMS_ACK).size() == 1; }));
    EXPECT_EQ(HostFrames(card::CMD_PARAMS_ACK)[0][3], GetParam().status);
    dispatcher.PumpFor(50);
    EXPECT_TRUE(events.empty());
}

INSTANTIATE_TEST_SUITE_P(Statuses, BadReportTest,
                         ::testing::Values(BadReport{"WrongChecksum", 0, false, 0x03},
                                           BadReport{"FlagNotZero", 0x11, true, 0xA0},
                                           BadReport{"BothWrong", 0x11, false, 0xA0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProtocolTest, LevelFramesArePostedWithoutAcknowledge) {
    card->SendLevels({100, 200, 300});
    ASSERT_TRUE(WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events[0][0], card::RPT_LEVELS);
    EXPECT_EQ(events[0][4], 3);
    EXPECT_EQ(events[0][7] | (events[0][8] << 8), 200);
    dispatcher.PumpFor(50);
    EXPECT_TRUE(HostFrames(card::CMD_PARAMS_ACK).empty());
}

// Level frames that come while the UI thread is busy reach it as one event carrying the newest
// levels, not as a backlog; once it took them, the next frame is posted again.
TEST_F(ProtocolTest, LevelBurstReachesABusyUiAsItsNewestFrame) {
    for (int level = 1; level <= 6; ++level) {
        card->SendLevels({level, 7 * level});
    }
    // A knob report behind the burst is posted by itself: once it waits, the burst was read.
    card->TurnKnob(30, 77);
    ASSERT_TRUE(WaitUntil([&] { return dispatcher.Pending() == 2; }));
    dispatcher.Pump();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0][0], card::RPT_LEVELS);
    EXPECT_EQ(events[0][5], 6);
    EXPECT_EQ(events[0][7], 42);
    EXPECT_EQ(events[1][0], card::RPT_PARAMS);
    card->SendLevels({9});
    ASSERT_TRUE(WaitFor([&] { return events.size() == 3; }));
    EXPECT_EQ(events[2][5], 9);
    dispatcher.PumpFor(50);
    EXPECT_EQ(events.size(), 3u);
}

// Levels read while no dispatcher is installed are not lost for good: the next frame after one is
// installed is posted.
TEST_F(ProtocolTest, LevelsFlowAgainOnceADispatcherIsBack) {
    {
        ccm_util::CScopedDispatcher none(nullptr);
        card->SendLevels({3});
        card->TurnKnob(0, 5);
        ASSERT_TRUE(WaitUntil([&] { return ReadCard([](auto& m) { return m.AcksGood(); }) == 1; }));
    }
    card->SendLevels({4});
    ASSERT_TRUE(WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events.back()[5], 4);
}

// A silent card repeats its empty report: the first of a run wakes the UI, its repeats do not
// until the repeat period has passed, and any report that is not the same silence (a level, or
// silence over more meters than the last) is handed on at once.
TEST_F(ProtocolTest, RepeatedSilenceIsHandedOnOncePerPeriod) {
    protocol.SetSilenceRepeatMs(60000);
    // Each step is read before the next is sent: a knob report behind it comes through itself.
    int knob = 0;
    auto send = [&](std::vector<int> levels) {
        card->SendLevels(levels);
        card->TurnKnob(30, ++knob);
        const size_t params = static_cast<size_t>(knob);
        ASSERT_TRUE(WaitFor([&] {
            return std::count_if(events.begin(), events.end(), [](const Frame& f) {
                       return f[0] == card::RPT_PARAMS;
                   }) == static_cast<long>(params);
        }));
    };
    auto levelEvents = [&] {
        std::vector<std::vector<int>> seen;
        for (const Frame& f : events) {
            if (f[0] == card::RPT_LEVELS) {
                std::vector<int> v;
                for (int i = 0; i < f[4]; ++i) v.push_back(f[5 + 2 * i] | (f[6 + 2 * i] << 8));
                seen.push_back(v);
            }
        }
        return seen;
    };
    send({9, 9, 9});
    send({0, 0});
    send({0, 0});
    send({0, 0});
    send({0, 0, 0});  // meter 2 still showed 9's fall: not the same silence
    send({0, 0, 0});
    send({0, 256});  // 256 is 0 in the low byte only
    send({0, 0, 0});
    using V = std::vector<std::vector<int>>;
    EXPECT_EQ(levelEvents(), (V{{9, 9, 9}, {0, 0}, {0, 0, 0}, {0, 256}, {0, 0, 0}}));

    // Past the period a repeat goes on again, once.
    events.clear();
    knob = 0;
    protocol.SetSilenceRepeatMs(1);
    std::this_thread::sleep_for(milliseconds(5));
    send({0, 0, 0});
    protocol.SetSilenceRepeatMs(60000);
    send({0, 0, 0});
    EXPECT_EQ(levelEvents(), (V{{0, 0, 0}}));
}

TEST_F(ProtocolTest, NoEventWithoutADispatcher) {
    ccm_util::CScopedDispatcher none(nullptr);
    card->TurnKnob(0, 5);
    ASSERT_TRUE(WaitFor([&] { return ReadCard([](auto& m) { return m.AcksGood(); }) == 1; }));
    EXPECT_EQ(dispatcher.Pending(), 0u);
}

TEST_F(ProtocolTest, KeyExchangeLeavesBothSidesWithTheSameKey) {
    ASSERT_TRUE(protocol.NegotiateKey());
    auto key = ReadCard([](auto& m) { return m.SessionKey(); });
    EXPECT_EQ(protocol.Key().Seed(), key.seed);
    EXPECT_EQ(protocol.Key().Modulus(), key.modulus);
    EXPECT_EQ(protocol.Key().Multiplier(), key.multiplier);
    EXPECT_EQ(protocol.Key().Increment(), key.increment);
    EXPECT_EQ(protocol.Key().Length(), 59);

    // The request carries four random integers below 32767 at their places.
    auto requests = HostFrames(card::CMD_KEY_EXCHANGE);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0][3], 0);
}

TEST_F(ProtocolTest, FailedKeyExchangeReportsFalse) {
    card->SetCorruptRepliesPct(100);  // fails every try at once, without waiting out time-outs
    EXPECT_FALSE(protocol.NegotiateKey());
}

class ProgressRecorder : public ccm_util::CMessageTarget {
public:
    void OnMessage(uint32_t msg, ccm_util::WPARAM w, ccm_util::LPARAM l) override {
        if (msg == UM_NOTIFY_MAIN) messages.emplace_back(w, l);
    }
    bool Done() const { return !messages.empty() && messages.back().first == kNotifyDownloadDone; }
    std::vector<std::pair<uint64_t, int64_t>> messages;
};

std::vector<Frame> EffectFrames(int n) {
    std::vector<Frame> frames;
    for (int k = 0; k < n; ++k) {
        Frame f{};
        f[0] = card::CMD_EFX_RECORDS_A;
        for (int i = 4; i < 63; ++i) f[i] = static_cast<uint8_t>(k * 31 + i);
        frames.push_back(f);
    }
    return frames;
}

TEST_F(ProtocolTest, DownloadReportsProgressAndTheCardDeciphersEveryFrame) {
    ProgressRecorder main;
    ccm_util::SetMainWindowHandle(main.Handle());
    ASSERT_TRUE(protocol.NegotiateKey());
    auto frames = EffectFrames(3);
    ASSERT_TRUE(protocol.StartDownload(frames));
    ASSERT_TRUE(WaitFor([&] { return main.Done(); }));
    std::vector<std::pair<uint64_t, int64_t>> expected = {{3, 0}, {3, 33}, {3, 66}, {3, 100}, {7, 1}};
    EXPECT_EQ(main.messages, expected);

    auto received = ReadCard([](auto& m) { return m.LastEffectDownload().recordsA; });
    ASSERT_EQ(received.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(0, std::memcmp(received[k].data() + 4, frames[k].data() + 4, 59)) << k;
    }
    // What crossed the wire was enciphered.
    auto wire = HostFrames(card::CMD_EFX_RECORDS_A);
    ASSERT_EQ(wire.size(), 3u);
    EXPECT_NE(0, std::memcmp(wire[0].data() + 4, frames[0].data() + 4, 59));
}

TEST_F(ProtocolTest, KeyExchangesBesideADownloadLeaveEveryFrameReadable) {
    // The key exchange installs a temporary and a proposed key before the final one; no frame
    // of the download may be enciphered with those, nor with a key the card does not hold yet.
    ProgressRecorder main;
    ccm_util::SetMainWindowHandle(main.Handle());
    ASSERT_TRUE(protocol.NegotiateKey());
    card->SetReplyDelayMs(2);
    auto frames = EffectFrames(30);
    ASSERT_TRUE(protocol.StartDownload(frames));
    int exchanges = 0;
    while (protocol.IsDownloading()) {
        exchanges += protocol.NegotiateKey() ? 1 : 0;
    }
    ASSERT_TRUE(WaitFor([&] { return main.Done(); }));
    EXPECT_EQ(main.messages.back().second, 1);
    EXPECT_GT(exchanges, 0);

    auto received = ReadCard([](auto& m) { return m.LastEffectDownload().recordsA; });
    ASSERT_EQ(received.size(), frames.size());
    for (size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(0, std::memcmp(received[k].data() + 4, frames[k].data() + 4, 59)) << k;
    }
}

TEST_F(ProtocolTest, ASecondDownloadWhileOneRunsIsIgnored) {
    ProgressRecorder main;
    ccm_util::SetMainWindowHandle(main.Handle());
    card->SetReplyDelayMs(60);
    ASSERT_TRUE(protocol.StartDownload(EffectFrames(3)));
    EXPECT_FALSE(protocol.StartDownload(EffectFrames(1)));
    ASSERT_TRUE(WaitFor([&] { return main.Done(); }));
    EXPECT_EQ(main.messages.back().second, 1);
    EXPECT_EQ(HostFrames(card::CMD_EFX_RECORDS_A).size(), 3u);
}

TEST_F(ProtocolTest, AFailedFrameEndsTheDownloadWithZero) {
    ProgressRecorder main;
    ccm_util::SetMainWindowHandle(main.Handle());
    card->SetCorruptRepliesPct(100);
    ASSERT_TRUE(protocol.StartDownload(EffectFrames(2)));
    ASSERT_TRUE(WaitFor([&] { return main.Done(); }));
    std::vector<std::pair<uint64_t, int64_t>> expected = {{3, 0}, {7, 0}};
    EXPECT_EQ(main.messages, expected);
}

TEST_F(ProtocolTest, MessagesToAWindowThatIsGoneAreDropped) {
    auto gone = std::make_unique<ProgressRecorder>();
    ccm_util::WindowHandle handle = gone->Handle();
    ASSERT_TRUE(ccm_util::PostMessage(handle, UM_NOTIFY_MAIN, 3, 0));
    gone.reset();
    EXPECT_EQ(dispatcher.Pump(), 1u);  // ran, found nobody, did nothing
    EXPECT_FALSE(ccm_util::PostMessage(handle, UM_NOTIFY_MAIN, 3, 0));
}

TEST_F(ProtocolTest, RequestsNeedADeviceManager) {
    builder.GetManager()->DetachDevice();
    Frame reply{};
    EXPECT_FALSE(protocol.QueryDeviceInfo(reply.data()));
    EXPECT_FALSE(protocol.StoreToSlot(1));
    EXPECT_FALSE(protocol.NegotiateKey());
    EXPECT_FALSE(protocol.SendFrames(EffectFrames(1)));
}

TEST_F(ProtocolTest, StoreToSlotAndSendFramesReachTheCard) {
    EXPECT_TRUE(protocol.StoreToSlot(2));
    Frame setParams{};
    setParams[0] = card::CMD_SET_PARAMS;
    setParams[4] = 1;
    setParams[5] = 4;
    setParams[6] = 0x10;
    setParams[7] = 33;
    setParams[62] = 1;
    EXPECT_TRUE(protocol.SendFrames({setParams}));
    EXPECT_TRUE(protocol.SendFrames({}));
    EXPECT_EQ(ReadCard([](auto& m) { return m.Param(4); }), 33);
    EXPECT_EQ(ReadCard([](auto& m) { return m.StoredSlots(); }), std::vector<int>{2});
}

}  // namespace

namespace {

template <int Id>
class BusEvent : public ccm_util::TypedEvent<BusEvent<Id>> {
public:
    static constexpr int EventID = 900000 + Id;
    static constexpr const char* EventName = "on_bus_test";
};

// The bus calls an event's own handlers, all of them in the order they subscribed, and none of
// another event's; a handler taken off while an event is being delivered is not called after.
TEST(EventBus, DeliversAnEventToItsOwnHandlersInOrder) {
    std::vector<std::string> calls;
    std::vector<ccm_util::CEventSubscription> subs;
    for (int i = 0; i < 6; ++i) {
        subs.push_back(ccm_util::CEventSubscription::Of<BusEvent<1>>(
            [&calls, i](const BusEvent<1>&) { calls.push_back("a" + std::to_string(i)); }));
        subs.push_back(ccm_util::CEventSubscription::Of<BusEvent<2>>(
            [&calls, i](const BusEvent<2>&) { calls.push_back("b" + std::to_string(i)); }));
    }
    EXPECT_EQ(ccm_util::EventBus::Instance().SubscriberCount(BusEvent<1>::EventID), 6u);
    ccm_util::EventBus::Instance().Fire(BusEvent<1>());
    EXPECT_EQ(calls, (std::vector<std::string>{"a0", "a1", "a2", "a3", "a4", "a5"}));

    // A handler taken off by an earlier one while the event is delivered is not called; the
    // fifth is past the handlers a delivery holds in place.
    std::vector<ccm_util::CEventSubscription> third;
    std::vector<int> called;
    for (int i = 0; i < 6; ++i) {
        third.push_back(ccm_util::CEventSubscription::Of<BusEvent<3>>([&, i](const BusEvent<3>&) {
            called.push_back(i);
            if (i == 1) {
                third[4].Reset();
            }
        }));
    }
    ccm_util::EventBus::Instance().Fire(BusEvent<3>());
    EXPECT_EQ(called, (std::vector<int>{0, 1, 2, 3, 5}));
    EXPECT_EQ(ccm_util::EventBus::Instance().SubscriberCount(BusEvent<3>::EventID), 5u);
    third.clear();

    subs.clear();
    EXPECT_EQ(ccm_util::EventBus::Instance().SubscriberCount(BusEvent<1>::EventID), 0u);
    calls.clear();
    ccm_util::EventBus::Instance().Fire(BusEvent<1>());
    EXPECT_TRUE(calls.empty());
}

}  // namespace
