// SPDX-License-Identifier: GPL-2.0-or-later
// A save that must merge another window's change into a calibration file of a million points:
// the merge alone, and the whole transaction (lock, read, merge, backup once, write).
#include "calibration/CalibrationFile.h"
#include "calibration/CalibrationKeeper.h"
#include "calibration/PointMerge.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace {

using namespace carteva;
namespace fs = std::filesystem;

constexpr std::size_t Points = 1'000'000;

std::vector<TCalibPoint> ManyPoints(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<TCalibPoint> points(count);
    for (TCalibPoint &point : points) {
        point.X = static_cast<std::int32_t>(random() % 20000);
        point.Y = static_cast<std::int32_t>(random() % 20000);
        point.Lat = static_cast<Extended>(random()) / 1e8L;
        point.Lon = static_cast<Extended>(random()) / 1e8L;
    }
    return points;
}

// The other window changed one point, removed one and added one; this one added one.
struct Sides
{
    std::vector<TCalibPoint> base, ours, theirs;
};

Sides MakeSides()
{
    Sides sides;
    sides.base = ManyPoints(Points, 1);
    sides.ours = sides.base;
    sides.ours.push_back(ManyPoints(1, 2)[0]);
    sides.theirs = sides.base;
    sides.theirs[Points / 2].Lat += 1;
    sides.theirs.erase(sides.theirs.begin() + Points / 3);
    sides.theirs.push_back(ManyPoints(1, 3)[0]);
    return sides;
}

void BM_MergeAMillionPoints(benchmark::State &state)
{
    const Sides sides = MakeSides();
    for (auto _ : state) {
        MergedPoints merged = MergePoints(sides.base, sides.ours, sides.theirs);
        benchmark::DoNotOptimize(merged.points.data());
    }
}
BENCHMARK(BM_MergeAMillionPoints)->Unit(benchmark::kMillisecond);

void BM_SaveMergingAMillionPoints(benchmark::State &state)
{
    const Sides sides = MakeSides();
    const fs::path folder = fs::temp_directory_path() / "carteva-merge-bench";
    fs::create_directories(folder);
    const fs::path path = folder / "map.cali";
    const std::vector<std::uint8_t> theirs = EncodeCalibration(20000, 20000, sides.theirs);
    for (auto _ : state) {
        state.PauseTiming();
        WriteCalibrationFile(path, 20000, 20000, sides.base);
        CalibrationKeeper keeper;
        keeper.SetAsideWith(
            [](const fs::path &, std::span<const std::uint8_t>) { return std::string("kept"); });
        std::vector<TCalibPoint> points;
        keeper.Read(path, points);
        points = sides.ours;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(theirs.data()), std::streamsize(theirs.size()));
        state.ResumeTiming();
        keeper.Write(path, 20000, 20000, points);
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_SaveMergingAMillionPoints)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
