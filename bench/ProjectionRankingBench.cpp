// SPDX-License-Identifier: GPL-2.0-or-later
// Ranking every candidate projection for 13 points of a sheet in central Europe (hundreds of
// systems hold them).
#include "calibration/ProjectionRanking.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace carteva;

// A 1:200,000 sheet about Nuremberg, 4000 × 3000 pixels, 13 points spread over it; the positions
// follow a plain north-up grid of degrees, which is all the ranking's cost depends on.
std::vector<TCalibPoint> Sheet()
{
    std::vector<TCalibPoint> points;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 4; ++i) {
            const int x = 200 + 1200 * i, y = 200 + 1300 * j;
            points.push_back(TCalibPoint {x, y, 49.9L - y * 1.8e-4L, 10.6L + x * 2.8e-4L});
        }
    points.push_back(TCalibPoint {2100, 1500, 49.9L - 1500 * 1.8e-4L, 10.6L + 2100 * 2.8e-4L});
    return points;
}

void BM_RankProjections(benchmark::State &state)
{
    const std::vector<TCalibPoint> points = Sheet();
    std::size_t rows = 0, candidates = 0;
    for (auto _ : state) {
        const auto ranking = ProjectionRanking::Rank(
            points,
            [&](std::size_t, std::size_t total) {
                candidates = total;
                return true;
            },
            state.range(0) != 0);
        rows = ranking ? ranking->size() : 0;
    }
    state.counters["candidates"] = double(candidates);
    state.counters["rows"] = double(rows);
}
// 0: the listed systems alone; 1: with the fitted families.
BENCHMARK(BM_RankProjections)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
