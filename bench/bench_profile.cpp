// The sound-pad file with three full lists (3 x 1 000 entries) loaded by the store: right after
// it was written (the profile layer then compares a recent file's contents on each read) and
// once it has settled.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "MoodConfig.h"
#include "MoodItem.h"
#include "profile/Profile.h"

namespace {

namespace pp = platform::profile;

struct Folder {
    Folder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velora-bench-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

constexpr int kEntries = 1000;

// Written with the profile functions directly, in the file's documented layout: "<list>" with
// "count" and entry i's 76-byte struct, "<list>Path" with entry i's path.
bool WriteFullFile(const std::filesystem::path& file, const std::filesystem::path& clip) {
    pp::CProfileBatch batch;
    for (const char16_t* list : {u"HotkeyMood", u"DIY", u"Download"}) {
        const std::u16string items(list);
        const std::u16string paths = items + u"Path";
        batch.DeleteSection(items).DeleteSection(paths);
        batch.WriteString(items, u"count", std::to_string(kEntries));
        for (int i = 0; i < kEntries; ++i) {
            sound::MoodItem item{};
            sound::MakeClip(item, sound::kMoodFile, u"clip", clip.u16string());
            batch.WriteStruct(items, std::to_string(i), &item, sound::kMoodStoredBytes);
            batch.WriteString(paths, std::to_string(i), clip.u16string());
        }
    }
    return batch.Commit(file);
}

// Arg 1: loaded within a second of the write; 0: loaded once the file has settled.
void BM_SoundPadFileLoad(benchmark::State& state) {
    Folder folder;
    const std::filesystem::path file = folder.path / "LyntMoodcfg.ini";
    const std::filesystem::path clip = folder.path / "clip.mp3";
    std::ofstream(clip) << "x";
    const bool fresh = state.range(0) != 0;
    if (!WriteFullFile(file, clip)) {
        state.SkipWithError("cannot write the file");
        return;
    }
    if (!fresh) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3200));
    }
    size_t loaded = 0;
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            // A changed count makes each write a real change of the file.
            pp::WritePrivateProfileString(u"Config", u"Volume",
                                          std::to_string(state.iterations() % 100), file);
            state.ResumeTiming();
        }
        sound::CMoodConfig store;
        store.Init(file);
        loaded = store.Favourites().size() + store.LocalClips().size() +
                 store.Downloaded().size();
    }
    state.counters["entries"] = static_cast<double>(loaded);
}
BENCHMARK(BM_SoundPadFileLoad)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
