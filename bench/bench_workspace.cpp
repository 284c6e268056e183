// What the parameter workspace costs: frames sent for a knob drag, UI-thread time per edit, and
// loading a settings file that holds every section.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "CardCommands.h"
#include "CardWorker.h"
#include "FlushTimerThread.h"
#include "QVAudioProtocol.h"
#include "VirtualCardServer.h"
#include "WorkSpace.h"
#include "ccm_util/Dispatcher.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"
#include "profile/Profile.h"

namespace {

using Clock = std::chrono::steady_clock;

// A workspace connected to an in-process virtual card, with a manual UI dispatcher.
struct ConnectedWorkSpace {
    ConnectedWorkSpace() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velora-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        vcard::ServerOptions options;
        options.socketPath = dir / "#VID_2B53&PID_0041#0";
        card = std::make_unique<vcard::CVirtualCardServer>(options);
        ok = card->Start() && builder.CreateManager(&protocol) &&
             builder.OpenDevicePath(card->DevicePath()) && protocol.NegotiateKey();
        ws = std::make_unique<CWorkSpace>(dir / "LyntConfigData.db", dir);
        ws->SetDevice(builder.GetManager(), &protocol);
        ws->SetConnected(true);
        ws->SetStarted(true);
        timer = std::make_unique<CFlushTimerThread>(
            [w = ws.get()](uint32_t id) { w->OnFlushTimer(id); });
        ws->SetFlushTimerOwner(timer.get());
    }
    ~ConnectedWorkSpace() {
        ws->SetFlushTimerOwner(nullptr);
        timer.reset();
        ws.reset();
        builder.GetManager()->DetachDevice();
        card.reset();
        std::filesystem::remove_all(dir);
    }
    int SetParamsFrames() const {
        int n = 0;
        card->Inspect(
            [&](const vcard::CCardModel& m) { n = m.CommandCount(card::CMD_SET_PARAMS); });
        return n;
    }

    std::filesystem::path dir;
    ccm_util::CManualDispatcher dispatcher;
    ccm_util::CScopedDispatcher scoped{&dispatcher};
    std::unique_ptr<vcard::CVirtualCardServer> card;
    CQVAudioProtocol protocol;
    CHidDeviceBuilder builder;
    std::unique_ptr<CWorkSpace> ws;
    std::unique_ptr<CFlushTimerThread> timer;
    bool ok = false;
};

// 10 000 edits of the reverb-volume knob spread over one second of real time, the UI thread
// pumping its queue between edits as an event loop would; then the last value is awaited.
// span_ms is the time from the first edit to the last: when the machine delays the last edits
// past 1000 ms, the drag lasted longer than a second and may earn one more frame.
void BM_KnobDragFramesPerSecond(benchmark::State& state) {
    ConnectedWorkSpace c;
    if (!c.ok) {
        state.SkipWithError("no virtual card");
        return;
    }
    constexpr int kEdits = 10000;
    int frames = 0;
    double spanMs = 0;
    for (auto _ : state) {
        // A quiet second first, so the drag starts from rest.
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        const int before = c.SetParamsFrames();
        const Clock::time_point start = Clock::now();
        Clock::time_point last = start;
        for (int i = 0; i < kEdits; ++i) {
            const Clock::time_point due = start + std::chrono::microseconds(100 * i);
            while (Clock::now() < due) {
                c.dispatcher.Pump();
            }
            c.ws->SetParam(30, i % 101);
            last = Clock::now();
        }
        spanMs = std::chrono::duration<double, std::milli>(last - start).count();
        c.dispatcher.PumpUntil([&] { return c.ws->Pending().empty(); }, 3000);
        frames = c.SetParamsFrames() - before;
    }
    state.counters["edits"] = kEdits;
    state.counters["span_ms"] = spanMs;
    state.counters["set_params_frames"] = frames;
}
BENCHMARK(BM_KnobDragFramesPerSecond)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same drag on a simulated clock that advances exactly 100 µs per edit, with the timer fired
// by hand 500 ms after the last edit: the count the flush rule itself gives, free of scheduling.
class CManualTimer : public IFlushTimerOwner {
public:
    void StartTimer(uint32_t, uint32_t) override { armed = true; }
    void StopTimer(uint32_t) override { armed = false; }
    bool armed = false;
};

void BM_KnobDragFramesSimulatedSecond(benchmark::State& state) {
    ConnectedWorkSpace c;
    if (!c.ok) {
        state.SkipWithError("no virtual card");
        return;
    }
    CManualTimer timer;
    c.ws->SetFlushTimerOwner(&timer);
    int64_t nowUs = 0;
    c.ws->SetClock([&nowUs] { return nowUs; });
    constexpr int kEdits = 10000;
    int frames = 0;
    for (auto _ : state) {
        nowUs += 1000000;  // a quiet second
        const int before = c.SetParamsFrames();
        for (int i = 0; i < kEdits; ++i) {
            c.ws->SetParam(30, i % 101);
            nowUs += 100;
        }
        nowUs += 500000;
        if (timer.armed) {
            c.ws->OnFlushTimer(CWorkSpace::kFlushTimerId);
        }
        frames = c.SetParamsFrames() - before;
    }
    state.counters["edits"] = kEdits;
    state.counters["set_params_frames"] = frames;
    c.ws->SetFlushTimerOwner(nullptr);
}
BENCHMARK(BM_KnobDragFramesSimulatedSecond)->Iterations(3)->Unit(benchmark::kMillisecond);

// UI-thread time of one edit that does not flush: store, queue, re-arm the timer.
void BM_EditOutsideFlush(benchmark::State& state) {
    ConnectedWorkSpace c;
    if (!c.ok) {
        state.SkipWithError("no virtual card");
        return;
    }
    c.ws->SetClock(
        [] { return int64_t{100000000}; });  // time stands still: never 500 ms since the flush
    c.ws->SetParam(30, 1);                   // this one flushes and sets the flush time
    int value = 0;
    for (auto _ : state) {
        c.ws->SetParam(30, value);
        value = (value + 1) % 101;
    }
    state.SetItemsProcessed(state.iterations());
    c.ws->SetFlushTimerOwner(nullptr);
}
BENCHMARK(BM_EditOutsideFlush)->Unit(benchmark::kNanosecond);

// UI-thread time of edits that each flush at once, on a card that never answers: arg 0 sends on
// the calling thread (each flush waits out three 500 ms tries), arg 1 through the card worker.
// max_edit_ms is the longest single edit: how long the window could not react.
void BM_EditOnSilentCard(benchmark::State& state) {
    ConnectedWorkSpace c;
    if (!c.ok) {
        state.SkipWithError("no virtual card");
        return;
    }
    card::CCardWorker worker;
    c.ws->SetFlushTimerOwner(nullptr);  // every edit flushes at once
    if (state.range(0) == 1) {
        c.ws->SetCardWorker(&worker);
    }
    c.card->SetDropRepliesPct(100);
    double maxEditMs = 0;
    int value = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        c.ws->SetParam(30, value);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        maxEditMs = std::max(maxEditMs, ms);
        value = (value + 1) % 101;
        c.dispatcher.Pump();
    }
    state.counters["max_edit_ms"] = maxEditMs;
    c.ws->SetCardWorker(nullptr);
}
BENCHMARK(BM_EditOnSilentCard)->Arg(0)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EditOnSilentCard)->Arg(1)->Iterations(2000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A settings file as a long-used installation has it: every section, every record.
std::filesystem::path WriteFullSettings(const std::filesystem::path& dir) {
    namespace pp = platform::profile;
    const std::filesystem::path file = dir / "LyntConfigData.db";
    std::filesystem::remove(file);
    pp::CProfileBatch batch;
    batch.WriteString(u"Settings", u"CloseBtnOperation", u"1");
    batch.WriteString(u"Settings", u"MainWinTopmost", u"0");
    for (int id = 10000; id <= 10018; ++id) {
        batch.WriteString(u"HotKey", model::DecimalText(id), model::DecimalText(0x20070 + id % 12));
    }
    batch.WriteString(u"HotKey", u"SoundTrack", u"112");
    batch.WriteString(u"Time", u"LastRecordTime", u"01:02:03");
    model::EffectRecord effect = model::BuiltinEffects()[3];
    model::SetRecordText(effect.source, u"/home/user/.local/share/Velora/CloudEff/流行/x.eff");
    batch.WriteStruct(u"LastStatus", u"CurrentEffect", &effect, sizeof effect);
    for (int g = 1; g <= 3; ++g) {
        for (int slot = 0; slot < 5; ++slot) {
            model::GroupPresetRecord preset{};
            model::SetRecordText(preset.name, u"我的预设");
            preset.count = 5;
            batch.WriteStruct(u"CustomPreset",
                              model::DecimalText(g) + u"_" + model::DecimalText(slot), &preset,
                              sizeof preset);
        }
    }
    for (int slot = 0; slot < 2; ++slot) {
        batch.WriteStruct(u"DeviceCustomEffect", model::DecimalText(slot), &effect, sizeof effect);
    }
    for (int slot = 0; slot < 12; ++slot) {
        batch.WriteStruct(u"MyCustomEffect", model::DecimalText(slot), &effect, sizeof effect);
    }
    constexpr int kDownloads = 30;
    std::filesystem::create_directories(dir / "CloudEff" / "流行");
    for (int i = 0; i < kDownloads; ++i) {
        const std::filesystem::path eff = dir / "CloudEff" / "流行" / (std::to_string(i) + ".eff");
        std::ofstream(eff) << "x";
        model::CloudEffectEntry entry{};
        model::SetRecordText(entry.name, u"云音效" + model::DecimalText(i));
        model::SetRecordText(entry.category, u"流行");
        model::SetRecordText(entry.location, model::TextFromPath(eff));
        entry.downloaded = 1;
        batch.WriteStruct(u"DownloadEffect", model::DecimalText(i), &entry, sizeof entry);
    }
    batch.WriteString(u"DownloadEffect", u"count", model::DecimalText(kDownloads));
    return batch.Commit(file) ? file : std::filesystem::path();
}

void BM_LoadFullSettingsFile(benchmark::State& state) {
    std::string pattern = (std::filesystem::temp_directory_path() / "velora-bench-XXXXXX").string();
    const std::filesystem::path dir = ::mkdtemp(pattern.data());
    const std::filesystem::path file = WriteFullSettings(dir);
    if (file.empty()) {
        state.SkipWithError("cannot write the settings file");
        return;
    }
    size_t downloads = 0;
    for (auto _ : state) {
        state.PauseTiming();
        platform::profile::ClearReadCache();  // each start reads the file afresh
        state.ResumeTiming();
        CWorkSpace ws(file, dir);
        downloads = ws.DownloadedEffects().size();
        benchmark::DoNotOptimize(ws.CurrentEffect());
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(file));
    state.counters["downloads"] = static_cast<double>(downloads);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadFullSettingsFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
