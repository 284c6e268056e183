// The cloud effect list: fetch and parse 1000 effects from the cloud stand-in, and build the
// "云音效" tree of them in the toolkit's tree view (offscreen).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <optional>

#include "CloudEffectLibrary.h"
#include "CloudSim.h"
#include "WidgetBenchMain.h"
#include "ccm_util/Dispatcher.h"
#include "effects/ui/CloudEffectListTreeViewAdapter.h"
#include "toolkit/STreeView.h"

namespace {

cloudsim::SimOptions ThousandEffects() {
    cloudsim::SimOptions options;
    options.content.effects.clear();
    for (int i = 0; i < 1000; ++i) {
        options.content.effects.push_back(
            {"分类" + std::to_string(i % 20), "音效" + std::to_string(i), i,
             "http://e/" + std::to_string(i) + ".eff"});  // short: 1000 must fit the 100 KB answer
    }
    return options;
}

// The tree's page does nothing here: only the building is measured.
class CIdlePage : public effects::ui::CCloudEffectListTreeViewAdapter::IPage {
public:
    bool UseEffectFile(std::u16string_view, const std::filesystem::path&) override { return true; }
    bool SaveEffectToSlot(std::u16string_view, int, std::u16string_view) override { return true; }
    void StartCloudListFetch() override {}
    void Tip(const QString&) override {}
};

struct Fixture {
    Fixture() : sim(ThousandEffects()) {
        sim.Start(0);
        library.emplace("/tmp/velora-bench-none", nullptr, sim.BaseUrl());
    }
    bool Fetch() {
        std::optional<bool> done;
        library->SetListListener([&](bool ok) { done = ok; });
        library->StartFetch();
        pump.PumpUntil([&] { return done.has_value(); }, 30000);
        return done.value_or(false);
    }
    ccm_util::CManualDispatcher pump;
    ccm_util::CScopedDispatcher scope{&pump};
    cloudsim::CCloudSim sim;
    std::optional<effects::CCloudEffectLibrary> library;
};

void BM_FetchThousandEffects(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        if (!f.Fetch() || f.library->Entries().size() != 1000) {
            state.SkipWithError("fetch failed");
            break;
        }
    }
}
BENCHMARK(BM_FetchThousandEffects)->Unit(benchmark::kMillisecond);

void BM_BuildThousandEffectTree(benchmark::State& state) {
    Fixture f;
    if (!f.Fetch()) {
        state.SkipWithError("fetch failed");
        return;
    }
    STreeView view;
    view.resize(228, 312);
    view.show();
    CIdlePage page;
    effects::ui::CCloudEffectListTreeViewAdapter tree(page, view, *f.library);
    for (auto _ : state) {
        tree.Rebuild();
        QApplication::processEvents();  // the layout and first paint of the rebuilt view
    }
    state.counters["items"] = view.ItemCount();
}
BENCHMARK(BM_BuildThousandEffectTree)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return RunWidgetBenchmarks(argc, argv);
}
