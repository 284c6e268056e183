#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "CardCommands.h"
#include "CardFixture.h"
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

// A protocol that records what nobody awaited.
class RecordingProtocol : public CProtocol {
public:
    RecordingProtocol() : CProtocol(64, nullptr) {}
    void OnRecvData(const uint8_t* frame) override {
        std::lock_guard<std::mutex> guard(mutex);
        Frame f;
        std::memcpy(f.data(), frame, 64);
        unsolicited.push_back(f);
    }
    void SetDeviceMgmt(ICommDeviceMgmt* m) override { manager = m; }
    void ResetDeviceMgmt() override { manager = nullptr; }
    bool NegotiateKey() override { return false; }
    size_t Count() {
        std::lock_guard<std::mutex> guard(mutex);
        return unsolicited.size();
    }
    std::mutex mutex;
    std::vector<Frame> unsolicited;
    ICommDeviceMgmt* manager = nullptr;
};

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
