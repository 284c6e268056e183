// A clip on its way to the card: decoding and converting a 47 s MP3 into the card's image next to
// sox doing the same conversion (MP3 to a 44.1 kHz mono 16-bit WAV file) in the same run, and the host's time per block
// against the in-process virtual card.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>

#include "ClipConverter.h"
#include "ClipEvents.h"
#include "ClipImage.h"
#include "ClipSlots.h"
#include "ClipSynth.h"
#include "LibmadDecoder.h"
#include "QVAudioProtocol.h"
#include "VirtualCardServer.h"
#include "ccm_util/Dispatcher.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace sound::clip;

struct Folder {
    Folder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velora-bench-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

// One decode and conversion as a send does it, up to the card's image; its sample bytes.
// decodeSeconds: the same (the decoder builds the image as it decodes).
size_t DecodeAndConvert(const std::filesystem::path& mp3, double& decodeSeconds) {
    const auto start = Clock::now();
    ccm_util::CManualDispatcher dispatcher;
    ccm_util::CScopedDispatcher scoped(&dispatcher);
    std::optional<EventDecoderFinsh> done;
    auto sub = ccm_util::CEventSubscription::Of<EventDecoderFinsh>(
        [&](const EventDecoderFinsh& e) { done.emplace(e); });
    CLibmadDecoder decoder;
    if (!decoder.Start(mp3.u16string(), 1.0f, false, SlotSeconds(4)) ||
        !dispatcher.PumpUntil([&] { return done.has_value(); }, 60000) || done->result != 1) {
        return 0;
    }
    decoder.Stop();
    const std::vector<uint8_t> image = decoder.TakeImage();
    decodeSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    return image.size() > kWaveHeaderBytes ? image.size() - kWaveHeaderBytes : 0;
}

double CpuSeconds(const struct rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// This process's CPU time so far, every thread.
double OwnCpuSeconds() {
    struct rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return CpuSeconds(u);
}

// cpuSeconds: sox's CPU time, which a busy machine does not stretch as it does the wall time.
bool RunSox(const std::filesystem::path& mp3, const std::filesystem::path& wav,
            double& cpuSeconds) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("sox", "sox", "-q", mp3.c_str(), "-r", "44100", "-c", "1", "-b", "16", wav.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    const bool ok = pid > 0 && ::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) &&
                    WEXITSTATUS(status) == 0;
    cpuSeconds += CpuSeconds(usage);
    return ok;
}

// Arg: the MP3's sample rate. Time is ours; counters give sox's time and ours / sox's, in wall
// time and in CPU time (ours: the whole process while it decodes; the decoder runs below normal
// priority, so on a busy machine its wall time stretches more than sox's).
void BM_DecodeConvertVsSox(benchmark::State& state) {
    Folder folder;
    const int rate = static_cast<int>(state.range(0));
    std::vector<uint8_t> mp3;
    if (!clipgen::EncodeToMp3(clipgen::MakeTone(440.0, 47.0, rate, 2, 0.5), mp3) ||
        !clipgen::WriteFile((folder.path / "clip.mp3").string(), mp3)) {
        state.SkipWithError("no MP3");
        return;
    }
    setenv("TMPDIR", folder.path.c_str(), 1);
    double ours = 0, sox = 0, decode = 0, oursCpu = 0, soxCpu = 0;
    for (auto _ : state) {
        const double cpu0 = OwnCpuSeconds();
        auto t0 = Clock::now();
        const size_t bytes = DecodeAndConvert(folder.path / "clip.mp3", decode);
        auto t1 = Clock::now();
        oursCpu += OwnCpuSeconds() - cpu0;
        const bool soxOk = RunSox(folder.path / "clip.mp3", folder.path / "sox.wav", soxCpu);
        auto t2 = Clock::now();
        if (bytes == 0 || !soxOk) {
            state.SkipWithError(bytes == 0 ? "decode failed" : "sox failed");
            break;
        }
        const double a = std::chrono::duration<double>(t1 - t0).count();
        ours += a;
        sox += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(a);
    }
    unsetenv("TMPDIR");
    state.counters["sox_ms"] =
        benchmark::Counter(1000 * sox / static_cast<double>(state.iterations()));
    state.counters["decode_ms"] =
        benchmark::Counter(1000 * decode / static_cast<double>(state.iterations()));
    state.counters["ours_per_sox"] = sox > 0 ? ours / sox : 0;
    state.counters["cpu_ours_per_sox"] = soxCpu > 0 ? oursCpu / soxCpu : 0;
}
BENCHMARK(BM_DecodeConvertVsSox)
    ->Arg(44100)
    ->Arg(48000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// One CMD_CLIP_DATA block sent and acknowledged, as the transfer worker sends them.
void BM_ClipBlockRoundTrip(benchmark::State& state) {
    Folder folder;
    vcard::ServerOptions options;
    options.socketPath = folder.path / "#VID_2B53&PID_0041#0";
    vcard::CVirtualCardServer card(options);
    CQVAudioProtocol protocol;
    CHidDeviceBuilder builder;
    if (!card.Start() || !builder.CreateManager(&protocol) ||
        !builder.OpenDevicePath(card.DevicePath())) {
        state.SkipWithError("no virtual card");
        return;
    }
    CDeviceManager& manager = *builder.GetManager();
    const std::vector<uint8_t> image = BuildClipImage(std::vector<uint8_t>(47 * 88200, 0x5A));
    const ClipTransferPlan plan = PlanClipTransfer(image.size());
    uint32_t index = plan.blockCount;
    int64_t failures = 0;
    for (auto _ : state) {
        card::Frame r{};
        if (index == plan.blockCount) {
            card::Frame begin = MakeClipBeginFrame(4, plan);
            manager.SendAndReceive(begin.data(), r.data(), 3, 6000, false);
            index = 0;
        }
        card::Frame q = MakeClipDataFrame(image, plan, index++);
        failures += !manager.SendAndReceive(q.data(), r.data(), 3, 2000, false);
    }
    state.counters["failures"] = static_cast<double>(failures);
    state.counters["blocks_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    manager.DetachDevice();
}
BENCHMARK(BM_ClipBlockRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
