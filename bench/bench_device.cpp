// Round trips through the device manager against the in-process virtual card, and what an idle
// attached card costs.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <thread>

#include "CardCommands.h"
#include "QVAudioProtocol.h"
#include "VirtualCardServer.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct AttachedCard {
    AttachedCard() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velora-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        vcard::ServerOptions options;
        options.socketPath = dir / "#VID_2B53&PID_0041#0";
        card = std::make_unique<vcard::CVirtualCardServer>(options);
        ok = card->Start() && builder.CreateManager(&protocol) &&
             builder.OpenDevicePath(card->DevicePath());
    }
    ~AttachedCard() {
        builder.GetManager()->DetachDevice();
        card.reset();
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    std::unique_ptr<vcard::CVirtualCardServer> card;
    CQVAudioProtocol protocol;
    CHidDeviceBuilder builder;
    bool ok = false;
};

void BM_AwaitedRoundTrip(benchmark::State& state) {
    AttachedCard attached;
    if (!attached.ok) {
        state.SkipWithError("no virtual card");
        return;
    }
    CDeviceManager& manager = *attached.builder.GetManager();
    double cpuBefore = ProcessCpuSeconds() - attached.card->IoThreadCpuSeconds();
    int64_t failures = 0;
    for (auto _ : state) {
        card::Frame q{};
        q[0] = card::CMD_DEVICE_INFO;
        card::Frame r{};
        if (!manager.SendAndReceive(q.data(), r.data(), 3, 300, false)) {
            ++failures;
        }
    }
    double hostCpu = ProcessCpuSeconds() - attached.card->IoThreadCpuSeconds() - cpuBefore;
    state.SetItemsProcessed(state.iterations());
    state.counters["round_trips_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["host_cpu_us_per_round_trip"] =
        hostCpu * 1e6 / static_cast<double>(state.iterations());
    state.counters["failures"] = static_cast<double>(failures);
}
BENCHMARK(BM_AwaitedRoundTrip)->UseRealTime()->MinTime(2.0);

// Nothing is exchanged for ten seconds: the receive thread sleeps in poll.
void BM_IdleAttachedCardFor10s(benchmark::State& state) {
    AttachedCard attached;
    if (!attached.ok) {
        state.SkipWithError("no virtual card");
        return;
    }
    double cpuMs = 0;
    for (auto _ : state) {
        double before = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        cpuMs = (ProcessCpuSeconds() - before) * 1000;
    }
    state.counters["process_cpu_ms_in_10s"] = cpuMs;
}
BENCHMARK(BM_IdleAttachedCardFor10s)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
