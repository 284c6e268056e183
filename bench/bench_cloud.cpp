// The cloud sound library against the local stand-in: from StartFetch to the finish event with
// every category's clips stored, and one clip download.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "CloudSim.h"
#include "CloudSoundLibrary.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "MoodConfig.h"
#include "ccm_util/Dispatcher.h"

namespace {

void BM_CloudCategoryListFetched(benchmark::State& state) {
    cloudsim::SimOptions options;
    options.content = cloudsim::DefaultContent(static_cast<int>(state.range(0)));
    cloudsim::CCloudSim sim(std::move(options));
    if (!sim.Start(0)) {
        state.SkipWithError("no stand-in");
        return;
    }
    CLibCurlHelper::GlobalInit();
    ccm_util::CManualDispatcher pump;
    ccm_util::CScopedDispatcher scope(&pump);
    sound::CMoodConfig store;
    sound::CCloudSoundLibrary cloud(store, {}, sim.BaseUrl());
    std::optional<bool> done;
    cloud.SetListListener([&](bool ok) { done = ok; });
    for (auto _ : state) {
        done.reset();
        cloud.StartFetch();
        pump.PumpUntil([&] { return done.has_value(); }, 30000);
        if (!done.value_or(false)) {
            state.SkipWithError("fetch failed");
            return;
        }
    }
    state.counters["categories"] = static_cast<double>(store.CategoryCount());
}
BENCHMARK(BM_CloudCategoryListFetched)->Arg(9)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_CloudClipDownload(benchmark::State& state) {
    cloudsim::CCloudSim sim(cloudsim::SimOptions{});
    if (!sim.Start(0)) {
        state.SkipWithError("no stand-in");
        return;
    }
    std::string path = (std::filesystem::temp_directory_path() / "velora-bench-XXXXXX").string();
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
        state.SkipWithError("no temporary file");
        return;
    }
    ::close(fd);
    const std::string url = sim.BaseUrl() + "/files/sound/101.mp3";
    for (auto _ : state) {
        benchmark::DoNotOptimize(CLibCurlHelper::HttpGetFile(url, path));
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_CloudClipDownload)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
