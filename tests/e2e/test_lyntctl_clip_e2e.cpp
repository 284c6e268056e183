// lyntctl send-clip against the lynt-virtual-card process: what each slot holds is the image this
// test makes of the same MP3 file, checked by a CRC-32 of its own.
#include <gtest/gtest.h>
#include <json/json.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "../core/TempDir.h"
#include "../sound/ClipTestMp3.h"
#include "ChildProcess.h"
#include "ClipConverter.h"
#include "ClipEvents.h"
#include "ClipImage.h"
#include "ClipSlots.h"
#include "LibmadDecoder.h"
#include "ProgramFolders.h"
#include "ccm_util/Dispatcher.h"

namespace {

using namespace std::chrono;
using namespace sound::clip;

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;

// Bitwise CRC-32 (IEEE, reflected), apart from the card's zlib.
uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

class LyntctlClip : public ::testing::Test {
protected:
    void SetUp() override {
        socket = dir.Path() / "#VID_2B53&PID_0041#0";
        cardProcess = std::make_unique<ChildProcess>(
            std::vector<std::string>{kCard, "--socket", socket.string()},
            std::vector<std::string>{});
        ASSERT_TRUE(cardProcess->Started());
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(milliseconds(10));
        ASSERT_TRUE(std::filesystem::exists(socket));
        ProgramEnvironment(dir.Path());
    }

    std::vector<std::string> Env() {
        auto env = ProgramEnvironment(dir.Path());
        env[0] = "LYNT_VIRTUAL_CARD_DIR=" + dir.Path().string();
        env.push_back("TMPDIR=" + dir.Path().string());
        return env;
    }

    Json::Value State() {
        cardProcess->WriteLine("state");
        std::istringstream in(cardProcess->ReadLine(5000));
        Json::Value root;
        std::string errors;
        Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors);
        return root;
    }
    Json::Value ClipState(int slot) {
        const Json::Value state = State();
        for (const Json::Value& c : state["clips"])
            if (c["slot"].asInt() == slot)
                return c;
        return {};
    }

    std::string Mp3(const std::string& name, double seconds, int rate, int channels) {
        const auto p = dir.Path() / name;
        const std::vector<uint8_t> b = testclip::Mp3Tone(seconds, rate, channels, 330.0);
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        return p.string();
    }

    // The image the card should hold, made in this process.
    std::vector<uint8_t> ExpectedImage(const std::string& file, int slot, int volume) {
        ccm_util::CManualDispatcher dispatcher;
        ccm_util::CScopedDispatcher scoped(&dispatcher);
        std::optional<EventDecoderFinsh> done;
        auto sub = ccm_util::CEventSubscription::Of<EventDecoderFinsh>(
            [&](const EventDecoderFinsh& e) { done.emplace(e); });
        CLibmadDecoder decoder;
        EXPECT_TRUE(decoder.Start(std::filesystem::path(file).u16string(), GainOfVolume(volume),
                                  false, SlotSeconds(slot)));
        EXPECT_TRUE(dispatcher.PumpUntil([&] { return done.has_value(); }, 30000));
        CWaveFile wav;
        if (!done || done->result != 1 || !wav.OpenRead(done->path))
            return {};
        return BuildClipImage(ConvertWaveFile(wav, SlotSeconds(slot)));
    }

    TempDir dir;
    std::filesystem::path socket;
    std::unique_ptr<ChildProcess> cardProcess;
};

TEST_F(LyntctlClip, EverySlotHoldsTheImageOfTheClip) {
    struct Case {
        int slot;
        double seconds;
        int rate;
        int channels;
        int volume;
    };
    // Slot 0 gets a clip longer than its 15 s; slot 4 one longer than the transfer cap.
    const Case cases[] = {{0, 17.0, 44100, 2, 100},
                          {1, 3.0, 48000, 2, 60},
                          {2, 2.0, 32000, 1, 100},
                          {3, 1.5, 44100, 1, 0},
                          {4, 47.5, 48000, 2, 100}};
    for (const Case& c : cases) {
        const std::string file =
            Mp3("slot" + std::to_string(c.slot) + ".mp3", c.seconds, c.rate, c.channels);
        auto r = ChildProcess::Run({kCtl, "--json", "send-clip", file, "--slot",
                                    std::to_string(c.slot), "--volume", std::to_string(c.volume)},
                                   Env(), 120000);
        ASSERT_EQ(r.status, 0) << "slot " << c.slot << ": " << r.err;
        const std::vector<uint8_t> image = ExpectedImage(file, c.slot, c.volume);
        ASSERT_FALSE(image.empty());
        const ClipTransferPlan plan = PlanClipTransfer(image.size());
        const Json::Value clip = ClipState(c.slot);
        EXPECT_EQ(clip["bytes"].asUInt(), plan.byteCount) << c.slot;
        EXPECT_EQ(clip["blocks"].asUInt(), plan.blockCount) << c.slot;
        EXPECT_EQ(clip["received"].asUInt(), plan.blockCount) << c.slot;
        EXPECT_EQ(clip["crc32"].asUInt(), Crc32(image.data(), plan.byteCount)) << c.slot;
        if (c.slot == 4) {
            EXPECT_EQ(plan.byteCount, card::kMaxClipBytes);
        } else if (c.slot == 0) {
            EXPECT_NEAR(static_cast<double>(image.size()), 15.0 * 88200, 2500.0);
        }
    }
    EXPECT_EQ(State()["host_state"].asInt(), 0);
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_FALSE(e.path().filename().string().starts_with("QvWavForm")) << e.path();
}

TEST_F(LyntctlClip, RefusalsAndACardGoneMidwayAreNotSuccess) {
    const std::string text = (dir.Path() / "notes.mp3").string();
    std::ofstream(text) << std::string(4000, 'x');
    auto bad = ChildProcess::Run({kCtl, "send-clip", text, "--slot", "0"}, Env(), 20000);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("特效解码失败"), std::string::npos) << bad.err;
    EXPECT_TRUE(State()["clips"].empty());
    EXPECT_EQ(ChildProcess::Run({kCtl, "send-clip", text, "--slot", "5"}, Env()).status, 1);
    EXPECT_EQ(ChildProcess::Run({kCtl, "send-clip", text}, Env()).status, 1);

    const std::string file = Mp3("long.mp3", 30.0, 44100, 2);
    ChildProcess ctl({kCtl, "send-clip", file, "--slot", "1"}, Env());
    ASSERT_TRUE(ctl.Started());
    bool begun = false;
    for (int i = 0; i < 600 && !begun; ++i) {
        begun = ClipState(1)["received"].asUInt() > 1000;
        if (!begun)
            std::this_thread::sleep_for(milliseconds(20));
    }
    ASSERT_TRUE(begun);
    cardProcess->WriteLine("unplug");
    EXPECT_EQ(ctl.Wait(30000), 3);
    EXPECT_FALSE(ClipState(1)["complete"].asBool());
}

}  // namespace
