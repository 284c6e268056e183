// What the equaliser curve costs: a full recompute of the card's fifteen bands over the
// 1024-point axis (the dialog's start and every preset), and one band moved (a slider drag).
#include <benchmark/benchmark.h>

#include "EqBands.h"
#include "EqCurveModel.h"

namespace {

EqCurveModel RaisedCurve() {
    EqCurveModel curve(20);
    eq::AddCardBands(curve);
    for (int n = 0; n < eq::kCardBands; ++n) {
        curve.SetBandParam(n, (n % 5) * 2.5 - 5.0 + 0.5, EqCurveModel::kGain);  // none flat
    }
    return curve;
}

void BM_EqRecalculate15Bands(benchmark::State& state) {
    EqCurveModel curve = RaisedCurve();
    for (auto _ : state) {
        curve.Recalculate();
        benchmark::DoNotOptimize(curve.TotalResponse().data());
    }
    state.SetItemsProcessed(state.iterations() * eq::kCardBands * EqFreqAxis::kPoints);
}
BENCHMARK(BM_EqRecalculate15Bands)->Unit(benchmark::kMicrosecond);

void BM_EqMoveOneBand(benchmark::State& state) {
    EqCurveModel curve = RaisedCurve();
    double gain = 1.0;
    for (auto _ : state) {
        gain = gain > 11 ? 1.0 : gain + 0.1;
        benchmark::DoNotOptimize(curve.SetBandParam(8, gain, EqCurveModel::kGain));
    }
}
BENCHMARK(BM_EqMoveOneBand)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
