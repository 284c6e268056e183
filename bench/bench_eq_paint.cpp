// What one repaint of the equaliser display costs, offscreen: the curve alone (the highlighted
// band filled plus the total), one frame of a slider drag (a band moved, then the display
// repainted with its grid from the grid's pixmap) and the first paint (the grid drawn anew, as
// after a resize).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include "EqBands.h"
#include "WidgetBenchMain.h"
#include "widgets/QvEq.h"
#include "widgets/QvEqCurve.h"
#include "widgets/QvEqGrid.h"

namespace {

// The dialog's display: its size and attributes, the card's bands, 1 kHz at +6 dB moved last.
struct CDisplay {
    CDisplay() {
        eq.setZeroXFreq(20);
        eq.setLdist(35);
        eq.setTdist(6);
        eq.setBdist(20);
        curve->setColorLine(QColor(0x00, 0xF6, 0xFF));
        curve->setColorCurrLine(QColor(128, 128, 128, 80));
        curve->setLineWidth(1);
        eq.resize(756, 244);
        eq::AddCardBands(eq.Model());
        for (int n = 0; n < eq::kCardBands; ++n) {
            eq.SetBandParam(n, (n % 5) * 1.5 - 3.0 + 0.5, EqCurveModel::kGain);
        }
        eq.SetBandParam(8, 6.0, EqCurveModel::kGain);
        eq.ensurePolished();
    }
    QvEQ eq;
    QvEqGrid* grid = new QvEqGrid(&eq);
    QvEqCurve* curve = new QvEqCurve(&eq);
};

void Paint(benchmark::State& state, QWidget* widget, QWidget::RenderFlags flags) {
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        widget->render(&image, QPoint(), QRegion(), flags);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_EqCurveRepaint(benchmark::State& state) {
    CDisplay d;
    if (d.eq.Model().CurrentBand() != 8) {
        state.SkipWithError("no highlighted band");
        return;
    }
    Paint(state, d.curve, {});
}
BENCHMARK(BM_EqCurveRepaint)->Unit(benchmark::kMicrosecond);

void BM_EqDragFrame(benchmark::State& state) {
    CDisplay d;
    QImage image(d.eq.size(), QImage::Format_ARGB32_Premultiplied);
    d.eq.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);  // the grid's pixmap
    double gain = 1.0;
    for (auto _ : state) {
        gain = gain > 11 ? 1.0 : gain + 0.1;
        d.eq.SetBandParam(8, gain, EqCurveModel::kGain);
        image.fill(Qt::transparent);
        d.eq.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_EqDragFrame)->Unit(benchmark::kMicrosecond);

void BM_EqDisplayFirstPaint(benchmark::State& state) {
    CDisplay d;
    QImage image(d.eq.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        d.grid->Invalidate();
        image.fill(Qt::transparent);
        d.eq.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_EqDisplayFirstPaint)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return RunWidgetBenchmarks(argc, argv);
}
