#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>

#include "CardFixture.h"
#include "QVAudioEvents.h"
#include "TestWaits.h"
#include "ccm_util/AppMessages.h"
#include "ccm_util/MessagePoster.h"
#include "common/Device/VirtualCard/VirtualCardDevice.h"

// A card pulled out in the middle of each kind of exchange, and plugged in again at once.

namespace {

using namespace std::chrono;
using card::Frame;

// Long enough that a sender who waits it out stalls the run far beyond the bound below.
constexpr uint32_t kReplyTimeoutMs = 60000;

class ProgressRecorder : public ccm_util::CMessageTarget {
public:
    void OnMessage(uint32_t msg, ccm_util::WPARAM w, ccm_util::LPARAM l) override {
        if (msg == UM_NOTIFY_MAIN && w == kNotifyDownloadDone)
            results.push_back(l);
    }
    std::vector<int64_t> results;
};

std::vector<Frame> EffectFrames(int n) {
    std::vector<Frame> frames;
    for (int k = 0; k < n; ++k) {
        Frame f{};
        f[0] = card::CMD_EFX_RECORDS_A;
        for (int i = 4; i < 63; ++i)
            f[i] = static_cast<uint8_t>(k * 13 + i);
        frames.push_back(f);
    }
    return frames;
}

class UnplugTest : public CardFixture {
protected:
    // As the panel does on a removal: the card goes, then the manager lets go of it.
    void Unplug() {
        card->Unplug();
        Manager().DetachDevice();
    }
    // Plugged in again straight away; the builder destroys the previous transport.
    void Replug() {
        card->SetDropRepliesPct(0);
        card->SetReplyDelayMs(0);
        ASSERT_TRUE(card->Plug());
        ASSERT_TRUE(builder.OpenDevicePath(card->DevicePath()));
    }
    int Received(uint8_t code) {
        return ReadCard([code](const vcard::CCardModel& m) { return m.CommandCount(code); });
    }
    bool AnswersDeviceInfo() {
        Frame q{};
        q[0] = card::CMD_DEVICE_INFO;
        Frame r{};
        return Manager().SendAndReceive(q.data(), r.data(), 3, 2000, false) && r[0] == 0x93;
    }
};

TEST_F(UnplugTest, AnAwaitedSendFailsAtOnce) {
    card->SetDropRepliesPct(100);
    Background sender([&] {
        Frame q{};
        q[0] = card::CMD_DEVICE_INFO;
        Frame r{};
        return Manager().SendAndReceive(q.data(), r.data(), 3, kReplyTimeoutMs, false);
    });
    ASSERT_TRUE(WaitUntil([&] { return Received(card::CMD_DEVICE_INFO) == 1; }));
    Unplug();
    ASSERT_TRUE(sender.Finished()) << "the sender waited out its time-out";
    EXPECT_FALSE(sender.Result());
    Replug();
    EXPECT_TRUE(AnswersDeviceInfo());
}

TEST_F(UnplugTest, AKeyExchangeFailsAndTheNextOneWorks) {
    card->SetDropRepliesPct(100);
    Background exchange([&] { return protocol.NegotiateKey(); });
    ASSERT_TRUE(WaitUntil([&] { return Received(card::CMD_KEY_EXCHANGE) >= 1; }));
    Unplug();
    ASSERT_TRUE(exchange.Finished());
    EXPECT_FALSE(exchange.Result());
    Replug();
    ASSERT_TRUE(protocol.NegotiateKey());
    auto key = ReadCard([](auto& m) { return m.SessionKey(); });
    EXPECT_EQ(protocol.Key().Seed(), key.seed);
}

TEST_F(UnplugTest, ADownloadEndsWithZeroAndTheNextOneArrivesWhole) {
    ProgressRecorder main;
    ccm_util::SetMainWindowHandle(main.Handle());
    ASSERT_TRUE(protocol.NegotiateKey());
    card->SetDropRepliesPct(100);
    ASSERT_TRUE(protocol.StartDownload(EffectFrames(20)));
    ASSERT_TRUE(WaitUntil([&] { return Received(card::CMD_EFX_RECORDS_A) >= 1; }));
    Unplug();
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return !main.results.empty(); }, 10000))
        << "the download waited out its time-outs";
    EXPECT_EQ(main.results, std::vector<int64_t>{0});
    EXPECT_FALSE(protocol.IsDownloading());

    Replug();
    ASSERT_TRUE(protocol.NegotiateKey());
    auto frames = EffectFrames(4);
    ASSERT_TRUE(protocol.StartDownload(frames));
    ASSERT_TRUE(dispatcher.PumpUntil([&] { return main.results.size() == 2; }, 10000));
    EXPECT_EQ(main.results.back(), 1);
    auto received = ReadCard([](auto& m) { return m.LastEffectDownload().recordsA; });
    ASSERT_GE(received.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(
            0, std::memcmp(received[received.size() - 4 + k].data() + 4, frames[k].data() + 4, 59))
            << k;
    }
}

TEST_F(UnplugTest, RepeatedReplugsBesideAcknowledgesAndKeepAlives) {
    // Knob reports keep the receive thread acknowledging and another thread sends as the
    // keep-alive does, while the card is pulled and plugged again and again; every replug
    // destroys the previous transport.
    std::atomic<bool> stop{false};
    std::thread keepAlive([&] {
        while (!stop) {
            Frame q{};
            q[0] = card::CMD_HOST_STATE;
            q[4] = 1;
            Manager().SendNotReceive(q.data(), false);
            Manager().IsOpen();
            std::this_thread::yield();
        }
    });
    std::thread knobs([&] {
        for (int i = 0; !stop; ++i) {
            card->TurnKnob(i % 10, i % 100);
            std::this_thread::sleep_for(milliseconds(1));
        }
    });
    std::atomic<int> answered{0};
    Background sender([&] {
        while (!stop) {
            answered += AnswersDeviceInfo() ? 1 : 0;
        }
        return true;
    });
    // Each plug lasts until a knob report has been acknowledged and the sender answered on it:
    // pulled sooner, a loaded machine could run all the cycles without either happening.
    const auto acks = [&] { return ReadCard([](auto& m) { return m.AcksGood(); }); };
    bool everyPlugServed = true;
    for (int cycle = 0; cycle < 15 && everyPlugServed; ++cycle) {
        const auto acksBefore = acks();
        const int answeredBefore = answered.load();
        everyPlugServed = WaitUntil([&] {
            return acks() > acksBefore && answered.load() > answeredBefore;
        });
        Unplug();
        Replug();
    }
    stop = true;
    keepAlive.join();
    knobs.join();
    EXPECT_TRUE(everyPlugServed);
    ASSERT_TRUE(sender.Finished());
    EXPECT_TRUE(AnswersDeviceInfo());
}

// A transport that holds a write until the test lets it go, and counts writes that overlap
// its closing.
class GatedTransport : public CVirtualCardDevice {
public:
    using CVirtualCardDevice::CVirtualCardDevice;
    ~GatedTransport() override { CloseDevice(); }

    bool Write(const uint8_t* data, int n) override {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_writing = true;
            m_cv.notify_all();
            m_cv.wait(lock, [&] { return m_open; });
        }
        overlaps += closing ? 1 : 0;
        bool ok = CVirtualCardDevice::Write(data, n);
        overlaps += closing ? 1 : 0;
        return ok;
    }
    void CloseDevice() override {
        closing = true;
        CVirtualCardDevice::CloseDevice();
    }
    bool WaitWriting() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_writing; });
    }
    void Open() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }

    std::atomic<int> overlaps{0};
    std::atomic<bool> closing{false};

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_writing = false;
    bool m_open = false;
};

TEST_F(UnplugTest, NoWriteOutlivesTheDetach) {
    GatedTransport transport(card->DevicePath());
    ASSERT_TRUE(Manager().AttachDevice(&transport, &protocol));
    Background writer([&] {
        Frame q{};
        q[0] = card::CMD_HOST_STATE;
        return Manager().SendNotReceive(q.data(), false);
    });
    ASSERT_TRUE(transport.WaitWriting());
    Background detacher([&] { return Manager().DetachDevice(); });
    // The detach has taken the card away; the write it waits for is still inside.
    ASSERT_TRUE(WaitUntil([&] { return Manager().GetDevice() == nullptr; }));
    transport.Open();
    ASSERT_TRUE(writer.Finished());
    ASSERT_TRUE(detacher.Finished());
    EXPECT_TRUE(detacher.Result());
    EXPECT_EQ(transport.overlaps.load(), 0) << "the transport was closed under a write";
    EXPECT_FALSE(transport.IsOpen());
}

}  // namespace
