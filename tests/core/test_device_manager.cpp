#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <set>
#include <thread>

#include "RecordingProtocol.h"
#include "CardCommands.h"
#include "CardFixture.h"
#include "FramesLog.h"
#include "TestWaits.h"
#include "Log/Log.h"
#include "common/Device/DeviceManager.h"
#include "common/Device/HidDevice/HidBase.h"
#include "common/Device/VirtualCard/VirtualCardDevice.h"

namespace {

using namespace std::chrono;
using card::Frame;

Frame Request(uint8_t code) {
    Frame f{};
    f[0] = code;
    return f;
}


using DeviceManagerTest = CardFixture;

TEST_F(DeviceManagerTest, RoundTripDeliversTheCheckedReply) {
    Frame q = Request(card::CMD_DEVICE_INFO);
    Frame r{};
    ASSERT_TRUE(Manager().SendAndReceive(q.data(), r.data(), 3, 300, false));
    EXPECT_EQ(r[0], 0x93);
    EXPECT_EQ(r[3], 0xFF);
    EXPECT_EQ(r[4], 10);
    EXPECT_EQ(r[6], 23);
    EXPECT_EQ(r[14], 1);
    EXPECT_FALSE(Manager().IsIdle());
}

TEST_F(DeviceManagerTest, BadRepliesAreRetriedThenTheRequestFails) {
    card->SetCorruptRepliesPct(100);
    vlog::CLogCapture log;
    Frame q = Request(card::CMD_HOST_STATE);
    q[4] = 1;
    Frame r{};
    EXPECT_FALSE(Manager().SendAndReceive(q.data(), r.data(), 3, 300, false));
    EXPECT_EQ(log.Count("WaitTimeout. cmd=0x90"), 3u);
    EXPECT_EQ(ReadCard([](const vcard::CCardModel& m) { return m.CommandCount(0x90); }), 3);

    // The card recovers: the next request goes through.
    card->SetCorruptRepliesPct(0);
    Frame again = Request(card::CMD_HOST_STATE);
    EXPECT_TRUE(Manager().SendAndReceive(again.data(), r.data(), 3, 300, false));
}

TEST_F(DeviceManagerTest, ALateReplyGoesToTheProtocol) {
    RecordingProtocol recorder;
    std::unique_ptr<CHidBase> transport = CHidDeviceBuilder::CreateTransport(card->DevicePath());
    ASSERT_TRUE(Manager().AttachDevice(transport.get(), &recorder));
    card->SetReplyDelayMs(250);
    Frame q = Request(card::CMD_DEVICE_INFO);
    Frame r{};
    EXPECT_FALSE(Manager().SendAndReceive(q.data(), r.data(), 1, 50, false));
    ASSERT_TRUE([&] {
        for (int i = 0; i < 100 && recorder.Count() == 0; ++i) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        return recorder.Count() == 1;
    }());
    EXPECT_EQ(recorder.unsolicited[0][0], 0x93);
    Manager().DetachDevice();
}

TEST_F(DeviceManagerTest, IdleThresholdFollowsTheLongestWait) {
    Frame r{};
    Frame q = Request(card::CMD_DEVICE_INFO);
    Manager().SendAndReceive(q.data(), r.data(), 1, 300, false);
    EXPECT_EQ(Manager().IdleThreshold(), 5000u);
    q = Request(card::CMD_DEVICE_INFO);
    Manager().SendAndReceive(q.data(), r.data(), 1, 6000, false);
    EXPECT_EQ(Manager().IdleThreshold(), 7000u);

    // With a lower floor the manager counts as idle once that much time passed without a frame.
    Manager().SetIdleFloor(20);
    q = Request(card::CMD_DEVICE_INFO);
    Manager().SendAndReceive(q.data(), r.data(), 1, 10, false);
    EXPECT_EQ(Manager().IdleThreshold(), 20u);
    EXPECT_TRUE(WaitUntil([&] { return Manager().IsIdle(); }));
}

TEST_F(DeviceManagerTest, DetachWhileAReadWaitsReturnsPromptly) {
    ASSERT_TRUE(Manager().IsOpen());
    std::this_thread::sleep_for(milliseconds(50));  // the receive loop sits in its read
    auto start = steady_clock::now();
    EXPECT_TRUE(Manager().DetachDevice());
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 3000);
    EXPECT_FALSE(Manager().IsOpen());
    EXPECT_EQ(protocol.DeviceMgmt(), nullptr);

    // And the manager takes a card again afterwards.
    ASSERT_TRUE(builder.OpenDevicePath(card->DevicePath()));
    Frame q = Request(card::CMD_DEVICE_INFO);
    Frame r{};
    EXPECT_TRUE(Manager().SendAndReceive(q.data(), r.data(), 3, 300, false));
}

TEST_F(DeviceManagerTest, SendNotReceiveGivesUpAfterFiveFailedWrites) {
    card->Unplug();  // the socket's peer is gone: every write fails
    std::this_thread::sleep_for(milliseconds(50));
    vlog::CLogCapture log;
    Frame q = Request(card::CMD_HOST_STATE);
    EXPECT_FALSE(Manager().SendNotReceive(q.data(), false));
    EXPECT_EQ(log.Count("send failed. cmd=0x90"), 5u);
}

TEST_F(DeviceManagerTest, RequestsFromTwoThreadsDoNotCross) {
    // One awaited request at a time: both threads get their own replies.
    std::atomic<int> good{0};
    auto worker = [&](uint8_t code, uint8_t expected) {
        for (int i = 0; i < 50; ++i) {
            Frame q = Request(code);
            Frame r{};
            if (Manager().SendAndReceive(q.data(), r.data(), 3, 500, false) && r[0] == expected) {
                ++good;
            }
        }
    };
    std::thread a(worker, card::CMD_DEVICE_INFO, 0x93);
    std::thread b(worker, card::CMD_HOST_STATE, 0x91);
    a.join();
    b.join();
    EXPECT_EQ(good.load(), 100);
}

class ConcurrentWriters : public CardFixture {
    void ConfigureCard(vcard::ServerOptions& o) override { o.framesLog = dir.Path() / "frames.log"; }
};

TEST_F(ConcurrentWriters, EveryFrameReachesTheCardWholeAndOnce) {
    // Awaited sends from two threads, unawaited ones from two more, and the receive thread
    // acknowledging knob reports, all at once: each frame must arrive as it was signed.
    constexpr int kPerThread = 400;
    constexpr int kKnobTurns = 60;
    std::mutex mutex;
    std::multiset<Frame> sent;
    std::atomic<int> answered{0};
    auto frame = [](uint8_t code, int writer, int i) {
        Frame q = Request(code);
        for (int b = 4; b < 63; ++b) {
            q[b] = static_cast<uint8_t>(writer * 61 + i * 7 + b);
        }
        return q;
    };
    auto awaited = [&](int writer) {
        for (int i = 0; i < kPerThread; ++i) {
            Frame q = frame(card::CMD_DEVICE_INFO, writer, i);
            Frame r{};
            if (Manager().SendAndReceive(q.data(), r.data(), 1, 5000, false)) {
                ++answered;
            }
            std::lock_guard<std::mutex> guard(mutex);
            sent.insert(q);  // as signed on the way out
        }
    };
    auto unawaited = [&](int writer) {
        for (int i = 0; i < kPerThread; ++i) {
            Frame q = frame(card::CMD_HOST_STATE, writer, i);
            EXPECT_TRUE(Manager().SendNotReceive(q.data(), false));
            std::lock_guard<std::mutex> guard(mutex);
            sent.insert(q);
        }
    };
    std::vector<std::thread> writers;
    writers.emplace_back(awaited, 1);
    writers.emplace_back(awaited, 2);
    writers.emplace_back(unawaited, 3);
    writers.emplace_back(unawaited, 4);
    for (int i = 0; i < kKnobTurns; ++i) {
        card->TurnKnob(i % 10, i);
    }
    for (auto& t : writers) {
        t.join();
    }
    EXPECT_EQ(answered.load(), 2 * kPerThread);
    const int expected = 4 * kPerThread + kKnobTurns;
    EXPECT_TRUE(WaitUntil([&] { return ReadCard([](auto& m) { return m.FramesReceived(); }) >= expected; }));

    int acks = 0;
    for (const auto& f : HostFrames(options.framesLog)) {
        if (f[0] == card::CMD_PARAMS_ACK) {
            ++acks;
            continue;
        }
        auto it = sent.find(f);
        ASSERT_NE(it, sent.end()) << "a frame the host never built reached the card";
        sent.erase(it);
    }
    EXPECT_TRUE(sent.empty()) << sent.size() << " frames were lost";
    EXPECT_EQ(acks, kKnobTurns);
    EXPECT_EQ(ReadCard([](auto& m) { return m.AcksGood(); }), kKnobTurns);
    EXPECT_EQ(ReadCard([](auto& m) { return m.BadChecksumFrames(); }), 0);
    EXPECT_EQ(ReadCard([](auto& m) { return m.FramesReceived(); }), expected);
}

// A protocol whose handling of an unawaited frame blocks until the test lets it go.
class BlockingProtocol : public RecordingProtocol {
public:
    void OnRecvData(const uint8_t* frame) override {
        std::unique_lock<std::mutex> lock(gate);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
        lock.unlock();
        RecordingProtocol::OnRecvData(frame);
    }
    bool WaitEntered() {
        std::unique_lock<std::mutex> lock(gate);
        return changed.wait_for(lock, seconds(10), [&] { return entered; });
    }
    void Release() {
        std::lock_guard<std::mutex> guard(gate);
        released = true;
        changed.notify_all();
    }
    std::mutex gate;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

TEST_F(DeviceManagerTest, DetachWaitsForTheLoopAndTheNextAttachRunsAFreshOne) {
    BlockingProtocol blocking;
    std::unique_ptr<CHidBase> transport = CHidDeviceBuilder::CreateTransport(card->DevicePath());
    ASSERT_TRUE(Manager().AttachDevice(transport.get(), &blocking));
    card->TurnKnob(1, 10);
    ASSERT_TRUE(blocking.WaitEntered());

    // The loop is busy in the protocol: the detach takes the card away at once but keeps the
    // descriptors open until the loop has left them.
    std::atomic<bool> detached{false};
    std::thread detacher([&] {
        Manager().DetachDevice();
        detached = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return Manager().GetDevice() == nullptr; }));
    EXPECT_TRUE(transport->IsOpen());
    EXPECT_FALSE(detached.load());
    blocking.Release();
    detacher.join();
    EXPECT_FALSE(transport->IsOpen());
    EXPECT_EQ(blocking.Count(), 1u);

    // A new attach serves the card with one new loop; the old one does not come back.
    ASSERT_TRUE(builder.OpenDevicePath(card->DevicePath()));
    card->TurnKnob(2, 20);
    EXPECT_TRUE(WaitUntil([&] { return ReadCard([](auto& m) { return m.AcksGood(); }) == 1; }));
    Frame q = Request(card::CMD_DEVICE_INFO);
    Frame r{};
    EXPECT_TRUE(Manager().SendAndReceive(q.data(), r.data(), 1, 5000, false));
    EXPECT_EQ(blocking.Count(), 1u);
}

class BadReportLength : public CardFixture {
protected:
    void SetUp() override {
        openOnSetUp = false;
        CardFixture::SetUp();
    }
};

class ShortOutputReports : public BadReportLength {
    void ConfigureCard(vcard::ServerOptions& o) override { o.outputReportBytes = 32; }
};

TEST_F(ShortOutputReports, AttachFailsAndLeavesTheManagerDetached) {
    EXPECT_FALSE(builder.OpenDevicePath(card->DevicePath()));
    EXPECT_EQ(Manager().GetDevice(), nullptr);
    EXPECT_FALSE(Manager().IsOpen());
    EXPECT_TRUE(builder.CurrentPath().empty());
}

class HugeOutputReports : public BadReportLength {
    void ConfigureCard(vcard::ServerOptions& o) override { o.outputReportBytes = 200; }
};

TEST_F(HugeOutputReports, TheTransportRefusesToOpen) {
    vlog::CLogCapture log;
    CVirtualCardDevice transport(card->DevicePath());
    EXPECT_FALSE(transport.OpenDevice());
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_EQ(log.Count("invalide device report byte length."), 1u);
    EXPECT_FALSE(builder.OpenDevicePath(card->DevicePath()));
}

class TransportTest : public BadReportLength {};

TEST_F(TransportTest, WriteLengthsAndReadWakeUps) {
    CVirtualCardDevice transport(card->DevicePath());
    ASSERT_TRUE(transport.OpenDevice());
    EXPECT_EQ(transport.GetInputLength(), 64);
    EXPECT_EQ(transport.GetOutputLength(), 64);

    vlog::CLogCapture log;
    EXPECT_FALSE(transport.OpenDevice());
    EXPECT_EQ(log.Count("One device is already opened."), 1u);
    EXPECT_TRUE(transport.IsOpen());

    Frame f = Request(card::CMD_DEVICE_INFO);
    EXPECT_TRUE(transport.Write(f.data(), 64));
    EXPECT_FALSE(transport.Write(f.data(), 65));
    EXPECT_EQ(log.Count("invalide parameter."), 1u);

    const uint8_t* got = nullptr;
    ASSERT_TRUE(transport.Read(&got, 1000));
    EXPECT_EQ(got[0], 0x93);

    // Nothing more is coming: a finite wait ends false.
    auto start = steady_clock::now();
    EXPECT_FALSE(transport.Read(&got, 100));
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 90);

    // A cancel wakes the next read at once, with a zeroed buffer.
    transport.CancelRead();
    start = steady_clock::now();
    ASSERT_TRUE(transport.Read(&got, ccm_util::kInfinite));
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 100);
    EXPECT_EQ(got[0], 0);

    transport.CloseDevice();
    transport.CloseDevice();
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_EQ(transport.GetOutputLength(), 0);
    // Closed, the output length is 0, so any length is out of range.
    EXPECT_FALSE(transport.Write(f.data(), 64));
    EXPECT_EQ(log.Count("invalide parameter."), 2u);
    EXPECT_FALSE(transport.Read(&got, 10));
    EXPECT_EQ(log.Count("Please OpenDevice before Read."), 1u);
}

TEST(EnumDevices, CountsEveryCardButKeepsTen) {
    TempDir dir;
    std::vector<std::unique_ptr<vcard::CVirtualCardServer>> cards;
    for (int i = 0; i < 12; ++i) {
        vcard::ServerOptions o;
        o.socketPath = dir.Path() / ("#VID_2B53&PID_0041#" + std::to_string(i));
        cards.push_back(std::make_unique<vcard::CVirtualCardServer>(o));
        ASSERT_TRUE(cards.back()->Start());
    }
    vcard::ServerOptions loader;
    loader.socketPath = dir.Path() / "#VID_2B53&PID_0002#0";
    vcard::CVirtualCardServer loaderCard(loader);
    ASSERT_TRUE(loaderCard.Start());

    ::setenv(CVirtualCardDevice::kFolderVariable, dir.Path().c_str(), 1);
    CQVAudioProtocol protocol;
    CHidDeviceBuilder builder;
    ASSERT_TRUE(builder.CreateManager(&protocol));
    EXPECT_EQ(builder.FindDevices(CHidDeviceBuilder::kProductId), 12);
    EXPECT_EQ(builder.PathCount(), 10);
    EXPECT_EQ(builder.FindDevices(CHidDeviceBuilder::kLoaderProductId), 1);
    EXPECT_TRUE(builder.OpenFirstDevice());
    EXPECT_EQ(builder.CurrentPath(), loaderCard.DevicePath());
    ::unsetenv(CVirtualCardDevice::kFolderVariable);
}

}  // namespace
