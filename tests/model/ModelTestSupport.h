#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CardFixture.h"
#include "EffectFile.h"
#include "IFlushTimerOwner.h"
#include "IParamControlBinder.h"
#include "ModelEvents.h"
#include "WorkSpace.h"

namespace modeltest {

using card::Frame;

// A timer the test fires by hand.
class FakeFlushTimer : public IFlushTimerOwner {
public:
    void StartTimer(uint32_t id, uint32_t periodMs) override {
        armed = true;
        lastId = id;
        lastPeriod = periodMs;
        ++starts;
    }
    void StopTimer(uint32_t) override { armed = false; }
    bool armed = false;
    uint32_t lastId = 0;
    uint32_t lastPeriod = 0;
    int starts = 0;
};

class FakeBinder : public IParamControlBinder {
public:
    explicit FakeBinder(std::set<int> ids) : bound(std::move(ids)) {}
    bool HasControl(int id) const override { return bound.count(id) != 0; }
    void ShowValue(int id, int value) override { shown.emplace_back(id, value); }
    std::set<int> bound;
    std::vector<std::pair<int, int>> shown;
};

// Counts the model's UI events while it lives.
struct EventLog {
    EventLog()
        : paramChanged(ccm_util::CEventSubscription::Of<EventParamChanged>(
              [this](const EventParamChanged& e) { changes.push_back(e.params); })),
          levels(ccm_util::CEventSubscription::Of<EventVolumeRecvData>(
              [this](const EventVolumeRecvData&) { ++levelFrames; })),
          clearPreset(ccm_util::CEventSubscription::Of<EventClearPresetBtnStatu>(
              [this](const EventClearPresetBtnStatu&) { ++presetClears; })) {}
    std::vector<std::vector<std::pair<int32_t, int32_t>>> changes;
    int levelFrames = 0;
    int presetClears = 0;
    ccm_util::CEventSubscription paramChanged;
    ccm_util::CEventSubscription levels;
    ccm_util::CEventSubscription clearPreset;
};

inline Frame FrameFromHex(const std::string& hex) {
    Frame f{};
    for (size_t i = 0; i < f.size(); ++i) {
        f[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    }
    return f;
}

// Entries (id, 12-bit value) of a CMD_SET_PARAMS frame.
inline std::vector<std::pair<int, int>> Entries(const Frame& f) {
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < f[4] && i < 19; ++i) {
        const uint8_t* e = f.data() + 5 + 3 * i;
        out.emplace_back(e[0], ((e[1] & 0x0F) << 8) | e[2]);
    }
    return out;
}

// A workspace on a settings file in a fresh folder, connected to an in-process virtual card
// that logs every frame; the flush timer and the clock are the test's.
class WorkSpaceCardTest : public CardFixture {
protected:
    void ConfigureCard(vcard::ServerOptions& o) override {
        o.framesLog = dir.Path() / "frames.log";
    }

    void SetUp() override {
        CardFixture::SetUp();
        protocol.SetReplyTimeoutLimit(200);  // a card told to stay silent costs little
        ASSERT_TRUE(protocol.NegotiateKey());
        ws = MakeWorkSpace();
        Connect(*ws);
    }

    void TearDown() override {
        ws.reset();
        CardFixture::TearDown();
    }

    std::unique_ptr<CWorkSpace> MakeWorkSpace() {
        return std::make_unique<CWorkSpace>(SettingsFile(), dir.Path());
    }

    void Connect(CWorkSpace& w) {
        w.SetDevice(&Manager(), &protocol);
        w.SetConnected(true);
        w.SetStarted(true);
        w.SetFlushTimerOwner(&timer);
        w.SetClock([this] { return int64_t{now} * 1000; });
    }

    std::filesystem::path SettingsFile() const { return dir.Path() / "LyntConfigData.db"; }

    // Frames the host sent with this code, as the card logged them, with their time.
    std::vector<std::pair<long long, Frame>> TimedHostFrames(uint8_t code) const {
        std::vector<std::pair<long long, Frame>> frames;
        std::ifstream in(options.framesLog);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            long long ms = 0;
            std::string direction, hex;
            fields >> ms >> direction >> hex;
            if (direction == "H" && hex.size() == 128) {
                Frame f = FrameFromHex(hex);
                if (f[0] == code) {
                    frames.emplace_back(ms, f);
                }
            }
        }
        return frames;
    }

    std::vector<Frame> HostFrames(uint8_t code) const {
        std::vector<Frame> frames;
        for (auto& [ms, f] : TimedHostFrames(code)) {
            frames.push_back(f);
        }
        return frames;
    }

    std::vector<Frame> SetParamsFrames() const { return HostFrames(card::CMD_SET_PARAMS); }

    int CardParam(int id) {
        return ReadCard([id](const vcard::CCardModel& m) { return m.Param(id); });
    }

    FakeFlushTimer timer;
    uint32_t now = 100000;  // milliseconds
    std::unique_ptr<CWorkSpace> ws;
};

// Writes an effect file from its parts; sizes not given are those of the parts.
struct EffectFileParts {
    uint32_t version = 2;
    uint32_t paramRecordSize = 16;
    uint32_t recordSizeA = 8;
    uint32_t recordSizeB = 8;
    uint32_t recordSizeC = 24;
    std::vector<uint8_t> a, b, c;
    std::vector<model::EffectParamRecord> params;
    std::optional<uint32_t> paramSectionSize, sizeA, sizeB, sizeC;

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out;
        auto put = [&out](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        };
        std::vector<uint8_t> paramBytes;
        for (const auto& p : params) {
            uint8_t rec[64] = {};
            uint32_t words[4] = {p.number, static_cast<uint32_t>(p.low),
                                 static_cast<uint32_t>(p.high), 0};
            std::memcpy(&words[3], &p.value, 4);
            std::memcpy(rec, words, 16);
            paramBytes.insert(paramBytes.end(), rec, rec + paramRecordSize);
        }
        put(version);
        put(0);
        put(paramRecordSize);
        put(paramSectionSize.value_or(static_cast<uint32_t>(paramBytes.size())));
        put(recordSizeA);
        put(recordSizeB);
        put(recordSizeC);
        put(sizeA.value_or(static_cast<uint32_t>(a.size())));
        put(sizeB.value_or(static_cast<uint32_t>(b.size())));
        put(sizeC.value_or(static_cast<uint32_t>(c.size())));
        out.insert(out.end(), a.begin(), a.end());
        out.insert(out.end(), b.begin(), b.end());
        out.insert(out.end(), c.begin(), c.end());
        out.insert(out.end(), paramBytes.begin(), paramBytes.end());
        return out;
    }

    void Write(const std::filesystem::path& path) const { WriteBytes(path, Bytes()); }

    static void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
};

// `n` records of `size` bytes whose bytes count up from `first`.
inline std::vector<uint8_t> CountingRecords(int n, int size, uint8_t first = 1) {
    std::vector<uint8_t> out;
    for (int i = 0; i < n * size; ++i)
        out.push_back(static_cast<uint8_t>(first + i));
    return out;
}

}  // namespace modeltest
