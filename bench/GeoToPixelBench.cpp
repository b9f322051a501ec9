// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibrationFile.h"
#include "calibration/GeoToPixel.h"
#include "calibration/Mapping.h"
#include "calibration/Residuals.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace carteva;
namespace fs = std::filesystem;

// Points spread over a 4000 × 3000 picture covering one degree by three quarters of a degree.
std::vector<TCalibPoint> Calibration(std::size_t count)
{
    std::mt19937 random(7);
    std::vector<TCalibPoint> points(count);
    for (TCalibPoint &point : points) {
        point.X = static_cast<std::int32_t>(random() % 4000);
        point.Y = static_cast<std::int32_t>(random() % 3000);
        point.Lon = 14.0L + point.X / 4000.0L;
        point.Lat = 50.0L - point.Y / 4000.0L;
    }
    return points;
}

void BM_GeoToPixel(benchmark::State &state)
{
    const std::vector<TCalibPoint> points = Calibration(static_cast<std::size_t>(state.range(0)));
    Extended lat = 49.8L;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GeoToPixel(points, lat, 14.5L));
        lat = lat < 49.9L ? lat + 0.0001L : 49.8L;
    }
}
BENCHMARK(BM_GeoToPixel)->Arg(5)->Arg(50);

// The best fit is made once per point list; a position then costs a few multiplications.
void BM_BestFitGeoToPixel(benchmark::State &state)
{
    const Mapping mapping(MappingKind::BestFit,
                          Calibration(static_cast<std::size_t>(state.range(0))));
    Extended lat = 49.8L;
    for (auto _ : state) {
        benchmark::DoNotOptimize(mapping.GeoToPixel(lat, 14.5L));
        lat = lat < 49.9L ? lat + 0.0001L : 49.8L;
    }
}
BENCHMARK(BM_BestFitGeoToPixel)->Arg(5)->Arg(50);

// What a list of points costs to judge after each change: the fit, residuals and suspects.
void BM_ComputeResiduals(benchmark::State &state)
{
    const std::vector<TCalibPoint> points = Calibration(static_cast<std::size_t>(state.range(1)));
    const auto kind = state.range(0) == 0 ? MappingKind::BestFit : MappingKind::TwoNearest;
    for (auto _ : state)
        benchmark::DoNotOptimize(ComputeResiduals(kind, points));
}
BENCHMARK(BM_ComputeResiduals)
    ->Args({0, 50})
    ->Args({0, 1000})
    ->Args({1, 50})
    ->Args({1, 1000})
    ->Unit(benchmark::kMillisecond);

struct Folder
{
    fs::path path = fs::temp_directory_path() / ("carteva-bench-" + std::to_string(getpid()));
    Folder() { fs::create_directories(path); }
    ~Folder() { fs::remove_all(path); }
};

constexpr std::size_t MillionRecords = 1'000'000;

void BM_WriteCalibrationFile(benchmark::State &state)
{
    Folder folder;
    const std::vector<TCalibPoint> points = Calibration(MillionRecords);
    for (auto _ : state)
        WriteCalibrationFile(folder.path / "big.cali", 4000, 3000, points);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * (8 + 40 * MillionRecords));
}
BENCHMARK(BM_WriteCalibrationFile)->Unit(benchmark::kMillisecond);

void BM_ReadCalibrationFile(benchmark::State &state)
{
    Folder folder;
    WriteCalibrationFile(folder.path / "big.cali", 4000, 3000, Calibration(MillionRecords));
    for (auto _ : state) {
        std::vector<TCalibPoint> points;
        if (ReadCalibrationFile(folder.path / "big.cali", points)
            != CalibrationReadResult::Complete)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(points.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * (8 + 40 * MillionRecords));
}
BENCHMARK(BM_ReadCalibrationFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
