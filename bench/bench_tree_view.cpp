// The effect trees with a thousand effects, offscreen, in the theme: building the tree view's
// items (and its first layout), the "KX音效" tab read from a list file of that size, and one
// frame of scrolling (the view moved by a few pixels and its viewport painted again).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include <fstream>
#include <string>

#include "../tests/core/TempDir.h"
#include "WidgetBenchMain.h"
#include "effects/ui/EventHandlerEffect.h"
#include "effects/ui/KxTreeViewAdapter.h"
#include "toolkit/STreeView.h"
#include "toolkit/Theme.h"
#include "toolkit/Toolkit.h"

namespace {

constexpr int kLists = 20;
constexpr int kPerList = 50;  // 1000 effects

// Categories of effects, as the cloud tab has them: two numbers per item.
class CBenchAdapter : public toolkit::ITreeViewAdapter {
public:
    toolkit::TreeItemLook GetItemLook(const toolkit::TreeItem* item) const override {
        const quintptr d = STreeView::ItemData(item);
        toolkit::TreeItemLook look;
        look.text = d < 1000 ? QStringLiteral("分类 %1 [%2]").arg(d).arg(kPerList)
                             : QStringLiteral("云音效 %1 号").arg(d);
        look.current = d == 1007;
        look.downloaded = d % 3 == 0;
        return look;
    }
};

void Fill(STreeView& view) {
    view.BeginUpdate();
    view.RemoveAllItems();
    for (int c = 0; c < kLists; ++c) {
        toolkit::TreeItem* cat = view.InsertItem(static_cast<quintptr>(c));
        view.SetItemExpanded(cat, true);
        for (int i = 0; i < kPerList; ++i) {
            view.InsertItem(static_cast<quintptr>(1000 + c * kPerList + i), cat);
        }
    }
    view.EndUpdate();
}

// The layout Qt would do before the next paint, done now so that it is measured.
void LayOut(STreeView& view) {
    view.doItemsLayout();
    benchmark::DoNotOptimize(view.verticalScrollBar()->maximum());
}

void BM_TreeBuild1000(benchmark::State& state) {
    CBenchAdapter adapter;
    STreeView view;
    view.resize(228, 312);
    view.SetAdapter(&adapter);
    for (auto _ : state) {
        Fill(view);
        LayOut(view);
    }
    state.counters["items"] = view.ItemCount();
}
BENCHMARK(BM_TreeBuild1000)->Unit(benchmark::kMillisecond);

// The tab's adapter built from a list file of 1000 effects: read, parsed, items made.
void BM_KxTabFromFile1000(benchmark::State& state) {
    TempDir dir;
    std::ofstream out(dir.Path() / "EffectList.xml");
    out << "<?xml version=\"1.0\"?>\n<AudioRack><Effect>\n";
    for (int c = 0; c < kLists; ++c) {
        out << "<Items Name=\"列表" << c << "\" Collapse=\"0\">\n";
        for (int i = 0; i < kPerList; ++i) {
            out << "\t<Item Name=\"音效" << c * kPerList + i << "\" Path=\"" << i % 16 << "\"/>\n";
        }
        out << "</Items>\n";
    }
    out << "</Effect></AudioRack>\n";
    out.close();
    CEventHandlerEffect page(nullptr);
    STreeView view;
    view.resize(228, 312);
    int items = 0;
    for (auto _ : state) {
        CKxTreeViewAdapter adapter(page, view, effects::EffectListFiles{dir.Path(), {}});
        LayOut(view);
        items = view.ItemCount();
    }
    state.counters["items"] = items;
}
BENCHMARK(BM_KxTabFromFile1000)->Unit(benchmark::kMillisecond);

// One frame of a smooth scroll: 4 pixels on, the viewport painted.
void BM_TreeScrollFrame(benchmark::State& state) {
    CBenchAdapter adapter;
    STreeView view;
    view.resize(228, 312);
    view.SetAdapter(&adapter);
    Fill(view);
    LayOut(view);
    QImage image(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar* bar = view.verticalScrollBar();
    int pos = 0;
    for (auto _ : state) {
        pos = (pos + 4) % bar->maximum();
        bar->setValue(pos);
        image.fill(toolkit::theme::kPanel);
        view.viewport()->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["range_px"] = bar->maximum();
}
BENCHMARK(BM_TreeScrollFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return RunWidgetBenchmarks(argc, argv, [](QApplication& app) {
        toolkit::Initialize();
        toolkit::ApplyTheme(&app);
    });
}
