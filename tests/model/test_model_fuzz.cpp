// Random and mutated input through the model's readers: parameter reports, effect files and
// settings files. Meant to run under -DVELORA_SANITIZE=ON as well; a crash, a leak or undefined
// behaviour fails it there.
#include <random>

#include "EffectFrames.h"
#include "Log/Log.h"
#include "ModelTestSupport.h"
#include "QVAudioEvents.h"
#include "profile/Profile.h"

namespace {

using namespace modeltest;
using card::Frame;

class ModelFuzz : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(log.Start(dir.Path() / "log", "fuzz")); }
    void TearDown() override { log.Stop(); }

    std::vector<uint8_t> Mutate(std::vector<uint8_t> bytes) {
        std::uniform_int_distribution<int> kind(0, 5);
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            const size_t at = bytes.empty() ? 0 : random() % bytes.size();
            switch (kind(random)) {
                case 0:
                    if (!bytes.empty())
                        bytes[at] = static_cast<uint8_t>(random());
                    break;
                case 1:
                    if (!bytes.empty())
                        bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                    break;
                case 2:
                    bytes.resize(at);
                    break;
                case 3:
                    bytes.insert(bytes.begin() + static_cast<long>(at),
                                 static_cast<uint8_t>(random()));
                    break;
                case 4:  // a header field set to an extreme
                    if (bytes.size() >= 40) {
                        const size_t field = 4 * (random() % 10);
                        const uint32_t v = (random() % 2) ? 0xFFFFFFFFu : 0u;
                        std::memcpy(bytes.data() + field, &v, 4);
                    }
                    break;
                default:
                    if (!bytes.empty())
                        bytes.erase(bytes.begin() + static_cast<long>(at));
                    break;
            }
        }
        return bytes;
    }

    TempDir dir;
    vlog::CLogManager log;
    std::mt19937 random{20240611};
};

TEST_F(ModelFuzz, RandomReportsNeverTouchMoreThanTheParameters) {
    CWorkSpace ws(dir.Path() / "none.db", dir.Path());
    for (int i = 0; i < 4000; ++i) {
        Frame f{};
        for (auto& b : f)
            b = static_cast<uint8_t>(random());
        f[0] = (i % 3 == 0) ? card::RPT_LEVELS : card::RPT_PARAMS;
        if (i % 2) {
            for (int e = 5; e < 62; e += 3)
                f[static_cast<size_t>(e)] %= 47;  // mostly known ids
        }
        ws.OnRecvDataEvent(EventRecvData(f));
    }
    for (int id = 0; id < model::kParamCount; ++id) {
        EXPECT_GE(ws.GetParam(id), 0);
        EXPECT_LE(ws.GetParam(id), 0x0FFF);
    }
    for (int id = model::kParamCount; id < model::kParamSlots; ++id) {
        EXPECT_EQ(ws.CurrentEffect().params[id], 0);
    }
}

TEST_F(ModelFuzz, RandomAndMutatedEffectFilesAreReadOrRefused) {
    EffectFileParts parts;
    parts.a = CountingRecords(9, 8);
    parts.b = CountingRecords(20, 8);
    parts.c = CountingRecords(5, 24);
    parts.params = {{10, 0, 100, 50.0f}, {31, 0, 100, 20.0f}, {7, -5, 5, 1.0f}};
    const std::vector<uint8_t> valid = parts.Bytes();
    const auto path = dir.Path() / "fuzz.eff";
    CWorkSpace ws(dir.Path() / "none.db", dir.Path());
    int accepted = 0;
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> bytes;
        if (i % 10 == 0) {
            bytes.resize(random() % 300);
            for (auto& b : bytes)
                b = static_cast<uint8_t>(random());
        } else {
            bytes = Mutate(valid);
        }
        EffectFileParts::WriteBytes(path, bytes);
        model::EffectFileContents contents;
        if (!model::ReadEffectFile(path, contents)) {
            continue;
        }
        ASSERT_LE(contents.sectionA.size() + contents.sectionB.size() + contents.sectionC.size(),
                  bytes.size());
        std::vector<Frame> frames;
        if (model::BuildEffectDownloadFrames(contents, ws.DownloadCaps(), frames)) {
            ++accepted;
            ASSERT_FALSE(frames.empty());
            ASSERT_EQ(frames[0][0], card::CMD_EFX_HEADER);
        }
        ws.ApplyParamSection(contents.params);
        std::vector<model::EffectParamRecord> params;
        model::ReadEffectFileParams(path, params);
    }
    EXPECT_GT(accepted, 0) << "some mutations keep the file usable";
    for (int id = 0; id < model::kParamCount; ++id) {
        const auto& d = model::ParamDescriptors()[static_cast<size_t>(id)];
        if (d.effect) {
            EXPECT_GE(ws.GetParam(id), d.minimum);
        }
    }
}

TEST_F(ModelFuzz, MutatedSettingsFilesLoadWithDefaultsForWhatIsDamaged) {
    const auto settings = dir.Path() / "LyntConfigData.db";
    {
        CWorkSpace ws(settings, dir.Path());
        for (int slot = 0; slot < CWorkSpace::kCustomSlots; ++slot) {
            ASSERT_TRUE(ws.SaveMyCustomEffect(slot, u"效果"));
        }
        for (int g = 1; g <= 3; ++g) {
            ASSERT_TRUE(ws.SaveCustomPreset(u"预设", g, 0));
        }
        ASSERT_TRUE(ws.SaveCurrentEffect());
        ASSERT_TRUE(platform::profile::WritePrivateProfileString(u"DownloadEffect", u"count", u"3",
                                                                 settings));
    }
    std::ifstream in(settings, std::ios::binary);
    const std::vector<uint8_t> valid((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    ASSERT_GT(valid.size(), 1000u);
    for (int i = 0; i < 300; ++i) {
        EffectFileParts::WriteBytes(settings, Mutate(valid));
        CWorkSpace ws(settings, dir.Path());
        EXPECT_EQ(ws.GroupPresets(1).size(), 10u);
        for (const auto& r : ws.CustomEffects()) {
            ASSERT_TRUE(r.empty == 1 || model::RecordText(r.name) == u"效果");
        }
    }
}

}  // namespace
