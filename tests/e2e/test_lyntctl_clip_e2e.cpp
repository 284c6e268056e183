// lyntctl send-clip against the lynt-virtual-card process: what each slot holds is compared with
// mpg123's own decoding of the same MP3 file (mono, 44 100 Hz, scaled by the volume), not with an
// image made by the code under test.
#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include "../core/TempDir.h"
#include "../sound/ClipTestMp3.h"
#include "ChildProcess.h"
#include "ProgramFolders.h"

namespace {

using namespace std::chrono;

// The slots' seconds as the card's manual gives them.
constexpr int kSlotSeconds[] = {15, 35, 35, 20, 47};

const std::string kCard = LYNT_VIRTUAL_CARD_BIN;
const std::string kCtl = LYNTCTL_BIN;

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

    // The samples of the WAV image slot holds on the card (after its "data" chunk header).
    std::vector<int16_t> CardSamples(int slot, uint32_t* declaredSamples) {
        const auto file = dir.Path() / ("slot" + std::to_string(slot) + ".bin");
        cardProcess->WriteLine("clip " + std::to_string(slot) + " " + file.string());
        EXPECT_EQ(cardProcess->ReadLine(5000), "ok");
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        const size_t data = bytes.find("data");
        if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || data == std::string::npos ||
            data + 8 > bytes.size()) {
            ADD_FAILURE() << "slot " << slot << " holds no WAV image";
            return {};
        }
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + data + 4, 4);
        *declaredSamples = size / 2;
        std::vector<int16_t> samples((bytes.size() - data - 8) / 2);
        std::memcpy(samples.data(), bytes.data() + data + 8, samples.size() * 2);
        return samples;
    }

    // mpg123's decoding: mono, 44 100 Hz, 16 bits, scaled by volume / 100.
    static std::vector<int16_t> Reference(const std::string& file, int volume) {
        const std::string command = "/usr/bin/mpg123 -q -s -m -r 44100 -e s16 '" + file + "'";
        std::vector<int16_t> samples;
        if (std::FILE* p = ::popen(command.c_str(), "r")) {
            int16_t buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 2, 4096, p)) > 0) {
                for (size_t i = 0; i < n; ++i) {
                    samples.push_back(
                        static_cast<int16_t>(std::lround(buffer[i] * volume / 100.0)));
                }
            }
            ::pclose(p);
        }
        return samples;
    }

    // The best normalised correlation of a against b shifted by up to maxLag samples either way,
    // over the first `span` samples; and the ratio of their energies at that shift.
    static double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b,
                              size_t span, int maxLag, double* energyRatio) {
        double best = -1;
        for (int lag = -maxLag; lag <= maxLag; lag += 1) {
            double ab = 0, aa = 0, bb = 0;
            for (size_t i = static_cast<size_t>(maxLag); i < span; i += 7) {
                const long j = static_cast<long>(i) + lag;
                if (j < 0 || static_cast<size_t>(j) >= b.size() || i >= a.size())
                    continue;
                ab += double(a[i]) * b[static_cast<size_t>(j)];
                aa += double(a[i]) * a[i];
                bb += double(b[static_cast<size_t>(j)]) * b[static_cast<size_t>(j)];
            }
            if (aa > 0 && bb > 0 && ab / std::sqrt(aa * bb) > best) {
                best = ab / std::sqrt(aa * bb);
                *energyRatio = aa / bb;
            }
        }
        return best;
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
        const Json::Value clip = ClipState(c.slot);
        EXPECT_TRUE(clip["complete"].asBool()) << c.slot;
        uint32_t declared = 0;
        const std::vector<int16_t> card = CardSamples(c.slot, &declared);
        const std::vector<int16_t> ref = Reference(file, c.volume);
        ASSERT_FALSE(ref.empty()) << "mpg123 decoded nothing";
        // The image states the clip's length: mpg123's, cut to the slot's seconds. mpg123 leaves
        // out the encoder's delay and padding (together up to two frames, 72 ms at 32 kHz).
        const double expected =
            std::min(ref.size() / 44100.0, static_cast<double>(kSlotSeconds[c.slot]));
        EXPECT_NEAR(declared / 44100.0, expected, 0.1) << c.slot;
        // The result says how much of the clip went: its length (mpg123's, give or take the
        // encoder's delay and padding) and the seconds sent: 15 in slot 0, and in slot 4 what
        // the transfer cap carries, (3 460 300 - 44) / 88 200 = 39.232 s.
        Json::Value result;
        std::istringstream(r.out) >> result;
        const bool cut = c.slot == 0 || c.slot == 4;
        EXPECT_EQ(result["cut"].asBool(), cut) << r.out;
        EXPECT_NEAR(result["clip_length"].asDouble(), ref.size() / 44100.0, 0.1) << r.out;
        EXPECT_NEAR(result["sent_length"].asDouble(),
                    c.slot == 4 ? 39.232 : (cut ? 15.0 : ref.size() / 44100.0),
                    c.slot == 4 || cut ? 0.001 : 0.1)
            << r.out;
        EXPECT_EQ(result["length_unit"].asString(), "s");
        if (c.slot == 4) {
            // Longer than a transfer carries: its first 3 460 300 bytes go.
            EXPECT_EQ(clip["bytes"].asUInt(), 3460300u);
        } else {
            EXPECT_EQ(card.size(), declared) << c.slot;
        }
        if (c.volume == 0) {
            EXPECT_TRUE(std::all_of(card.begin(), card.end(), [](int16_t v) { return v == 0; }));
            continue;
        }
        // The same sound at the same loudness: the decoders may differ by their delay.
        double energy = 0;
        const double r2 =
            Correlation(card, ref, std::min<size_t>(card.size(), 44100), 1500, &energy);
        EXPECT_GT(r2, 0.97) << c.slot;
        EXPECT_NEAR(energy, 1.0, 0.1) << c.slot;
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
    EXPECT_EQ(ctl.Wait(30000), 2) << "the card was unplugged";
    EXPECT_FALSE(ClipState(1)["complete"].asBool());
}

// A clip longer than its slot is sent cut, and lyntctl says so in words: the length sox gives
// the file, and the slot's 15 s. A clip that fits says nothing more.
TEST_F(LyntctlClip, ACutClipIsSaidSo) {
    const std::string file = (dir.Path() / "twenty.mp3").string();
    ASSERT_EQ(
        std::system(
            ("/usr/bin/sox -q -n -r 44100 -c 1 '" + file + "' synth 20 sine 440 vol 0.5").c_str()),
        0);
    double length = 0;
    if (std::FILE* p = ::popen(("/usr/bin/soxi -D '" + file + "'").c_str(), "r")) {
        ASSERT_EQ(std::fscanf(p, "%lf", &length), 1);
        ::pclose(p);
    }
    ASSERT_NEAR(length, 20.0, 0.2);
    auto r = ChildProcess::Run({kCtl, "send-clip", file, "--slot", "0"}, Env(), 60000);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string said = "the clip was cut: 15.0 s of its ";
    const size_t at = r.out.find(said);
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_NEAR(std::stod(r.out.substr(at + said.size())), length, 0.1) << r.out;
    EXPECT_TRUE(r.out.ends_with(" s were sent (slot 0 holds 15 s)\n")) << r.out;
    EXPECT_EQ(r.err, "");

    // Slot 3 holds 20 s: what the encoder added past them (sox counts it) is no cut to speak of.
    auto fits = ChildProcess::Run({kCtl, "send-clip", file, "--slot", "3"}, Env(), 60000);
    ASSERT_EQ(fits.status, 0) << fits.err;
    EXPECT_EQ(fits.out.find("the clip was cut"), std::string::npos) << fits.out;
}

}  // namespace
