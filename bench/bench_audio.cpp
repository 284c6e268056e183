// What the audio engine costs: a pad's trigger to its first buffer at the device (a preloaded
// favourite and a cold clip; on the fake backend for the engine alone and on a private
// PulseAudio null sink through Qt), the CPU share of playing and of recording on the sound
// server, and decoding a 60 s MP3 next to `mpg123 -t` on the same file in the same run.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <QCoreApplication>

#include <chrono>
#include <filesystem>
#include <thread>

#include "AudioEngineImpl.h"
#include "AudioTestSupport.h"
#include "ClipCache.h"
#include "FakeAudioDevices.h"
#include "PulseFixture.h"
#include "QtAudioDevices.h"

extern char** environ;

using namespace platform::audio;
using namespace std::chrono_literals;

namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

const std::vector<uint8_t>& Clip() {
    static const auto mp3 = audiotest::ToneMp3(440, 3.0);
    return mp3;
}

const std::vector<uint8_t>& Minute() {
    static const auto mp3 = audiotest::ToneMp3(440, 60.0);
    return mp3;
}

PulseFixture* g_pulse = nullptr;
std::shared_ptr<CQtAudioDevices> g_devices;

int CardOutput(IAudioEngine& engine) {
    for (int i = 0; i < engine.GetOutputDeviceCount(); ++i) {
        std::u16string name;
        if (engine.GetOutputDeviceInfo(i, name) && name.find(u"Orin LYNT!") != name.npos) {
            return i;
        }
    }
    return -1;
}

// Engine alone: Open + Start + the first pull of the device.
void BM_TriggerToFirstBufferFake(benchmark::State& state) {
    const bool favourite = state.range(0) != 0;
    auto devices = std::make_shared<CFakeAudioDevices>(std::vector<std::string>{"Orin LYNT!"},
                                                       std::vector<std::string>{});
    CClipCache::Instance().Clear();
    if (favourite) {
        PreloadClipMemory(Clip().data(), Clip().size());
        CClipCache::Instance().WaitIdle();
    }
    CAudioEngine engine(devices);
    for (auto _ : state) {
        engine.OpenMemory(1, 0, Clip().data(), Clip().size(), kFormatMp3);
        engine.Start();
        benchmark::DoNotOptimize(devices->PumpOutput(256));
        state.PauseTiming();
        engine.Stop();
        devices->TakePlayed();
        state.ResumeTiming();
    }
    state.SetLabel(favourite ? "favourite (preloaded)" : "cold");
}
BENCHMARK(BM_TriggerToFirstBufferFake)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// Through Qt to the null sink: from the trigger to the sink's first read of the clip.
void BM_TriggerToFirstBufferPulse(benchmark::State& state) {
    if (!g_devices) {
        state.SkipWithError("no private PulseAudio");
        return;
    }
    const bool favourite = state.range(0) != 0;
    CClipCache::Instance().Clear();
    if (favourite) {
        PreloadClipMemory(Clip().data(), Clip().size());
        CClipCache::Instance().WaitIdle();
    }
    CAudioEngine engine(g_devices);
    engine.SelectOutputDevice(CardOutput(engine));
    for (auto _ : state) {
        const int64_t trigger = NowNs();
        engine.OpenMemory(1, 0, Clip().data(), Clip().size(), kFormatMp3);
        engine.Start();
        int64_t first = 0;
        while ((first = engine.FirstFramesAtNs()) == 0) {
            std::this_thread::sleep_for(50us);
        }
        state.SetIterationTime(static_cast<double>(first - trigger) / 1e9);
        engine.Stop();
    }
    state.SetLabel(favourite ? "favourite (preloaded)" : "cold");
}
BENCHMARK(BM_TriggerToFirstBufferPulse)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

// CPU of the whole process (decoder, engine, Qt's audio thread) over 5 s of real time.
void BM_CpuSharePlayback(benchmark::State& state) {
    if (!g_devices) {
        state.SkipWithError("no private PulseAudio");
        return;
    }
    for (auto _ : state) {
        CAudioEngine engine(g_devices);
        engine.SelectOutputDevice(CardOutput(engine));
        engine.OpenMemory(1, 0, Minute().data(), Minute().size(), kFormatMp3);
        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        engine.Start();
        std::this_thread::sleep_for(5s);
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        engine.Stop();
        state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
    }
}
BENCHMARK(BM_CpuSharePlayback)->Iterations(1)->Unit(benchmark::kSecond);

void BM_CpuShareRecording(benchmark::State& state) {
    if (!g_devices) {
        state.SkipWithError("no private PulseAudio");
        return;
    }
    const auto path = g_pulse->Folder() / "bench_record.mp3";
    for (auto _ : state) {
        CAudioEngine engine(g_devices);
        engine.Open(u"wavein:///src=line;volume=100;", 1000);
        engine.StartRecordToFile(path, 1, 0);
        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        engine.Start();
        std::this_thread::sleep_for(5s);
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        engine.Stop();
        state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
    }
}
BENCHMARK(BM_CpuShareRecording)->Iterations(1)->Unit(benchmark::kSecond);

void BM_Decode60sMp3(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(audiotest::DecodeAll(Minute()).size());
    }
    state.counters["x_realtime"] = benchmark::Counter(
        60.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Decode60sMp3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference: the mpg123 program decoding the same bytes to nothing (-t), process included.
void BM_Mpg123ToolTest60sMp3(benchmark::State& state) {
    const auto file = std::filesystem::temp_directory_path() / "velora-bench-60s.mp3";
    audiotest::WriteBytes(file, Minute());
    for (auto _ : state) {
        const std::string path = file.string();
        char* argv[] = {const_cast<char*>("mpg123"), const_cast<char*>("-q"),
                        const_cast<char*>("-t"), const_cast<char*>(path.c_str()), nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, "mpg123", nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("mpg123 is not installed");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
    std::filesystem::remove(file);
    state.counters["x_realtime"] = benchmark::Counter(
        60.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Mpg123ToolTest60sMp3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    PulseFixture pulse;
    const bool pulseUp = pulse.Start();
    QCoreApplication app(argc, argv);
    if (pulseUp) {
        g_pulse = &pulse;
        g_devices = std::make_shared<CQtAudioDevices>();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_devices.reset();
    return 0;
}
