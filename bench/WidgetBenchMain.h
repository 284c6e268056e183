#pragma once

#include <QApplication>
#include <QByteArray>

#include <benchmark/benchmark.h>

// main() of a benchmark that paints widgets: offscreen unless a platform is chosen, one
// application, prepare(app) (a theme, say), then the benchmarks asked for on the command line.
template <typename Prepare>
int RunWidgetBenchmarks(int argc, char** argv, Prepare prepare) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    prepare(app);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

inline int RunWidgetBenchmarks(int argc, char** argv) {
    return RunWidgetBenchmarks(argc, argv, [](QApplication&) {});
}
