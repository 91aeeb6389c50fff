#pragma once
// The main of a benchmark that needs Qt's widgets: on the display when there
// is one, else offscreen, and silent unless SDL_AUDIODRIVER says otherwise.
#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace bench_support {

inline int runWithWidgets(int argc, char** argv)
{
    if (!std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace bench_support
