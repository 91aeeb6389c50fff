// The size a double-size 4096x2304 video takes on a 7680x4320 screen beside
// the player, worked out on the window's thread as the video opens: the
// player in the middle, or a wide one across the screen, its controls apart,
// where only a quarter of the screen is clear of them.
#include "platform/mci/placement.h"

#include <benchmark/benchmark.h>

namespace {

mci::PlacementScene scene(bool acrossTheScreen)
{
    mci::PlacementScene s;
    s.area = QRect(0, 0, 7680, 4320);
    if (acrossTheScreen) {
        s.windows = {QRect(0, 2000, 7680, 320)};
        s.keepVisible = {QRect(8, 2030, 141, 33), QRect(3800, 2030, 141, 33), QRect(7500, 2030, 141, 33)};
    } else {
        const QRect main(3599, 2021, 483, 277);
        const QPoint client = main.topLeft() + QPoint(1, 22);
        s.windows = {main};
        s.keepVisible = {QRect(client + QPoint(8, 0), QSize(141, 33)), QRect(client + QPoint(8, 32), QSize(145, 17))};
    }
    return s;
}

void BM_DoubleSizeVideoBesideThePlayer(benchmark::State& state)
{
    const mci::PlacementScene s = scene(state.range(0) == 1);
    const QSize video(4096, 2304);
    QSize size;
    for (auto _ : state) {
        size = mci::shrinkToStayClear(s, video * 2, video / 2, QMargins(1, 22, 1, 1));
        benchmark::DoNotOptimize(size);
    }
    state.counters["width"] = size.width();
}
BENCHMARK(BM_DoubleSizeVideoBesideThePlayer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
