// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/NumberText.h"

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace carteva;

// Texts as they arrive from the entry fields and from GPX files.
const std::vector<std::string> kCoordinateTexts = {
    "50.0833333", "-12.5",    "14.4213889", "49.195060",   "-122.419416",
    "0.000123",   "180",      "16.6068371", "-33.8688197", "151.2092955",
    "48.85837",   "2.294481", "-0.1275",    "51.5072178",
};

std::vector<std::u16string> Utf16Texts()
{
    std::vector<std::u16string> texts;
    for (const std::string &text : kCoordinateTexts)
        texts.emplace_back(text.begin(), text.end());
    return texts;
}

std::vector<Extended> Coordinates()
{
    std::mt19937_64 random(11);
    std::vector<Extended> values(64);
    for (Extended &value : values)
        value = static_cast<Extended>(random() % 360'000'000) / 1'000'000.0L - 180;
    return values;
}

void BM_ParseDecimal(benchmark::State &state)
{
    const std::vector<std::u16string> texts = Utf16Texts();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseDecimal(texts[i]));
        i = i + 1 == texts.size() ? 0 : i + 1;
    }
}
BENCHMARK(BM_ParseDecimal);

void BM_strtold_l(benchmark::State &state)
{
    const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(strtold_l(kCoordinateTexts[i].c_str(), nullptr, c));
        i = i + 1 == kCoordinateTexts.size() ? 0 : i + 1;
    }
    freelocale(c);
}
BENCHMARK(BM_strtold_l);

void BM_FormatCoordinate(benchmark::State &state)
{
    const std::vector<Extended> values = Coordinates();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatCoordinate(6, values[i]));
        i = (i + 1) % values.size();
    }
}
BENCHMARK(BM_FormatCoordinate);

void BM_snprintf_Lf(benchmark::State &state)
{
    const std::vector<Extended> values = Coordinates();
    char text[64];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%.6Lf", values[i]));
        benchmark::ClobberMemory();
        i = (i + 1) % values.size();
    }
}
BENCHMARK(BM_snprintf_Lf);

void BM_ParseInteger(benchmark::State &state)
{
    const std::u16string texts[] = {u"120", u"45", u"3999", u"2047", u"7"};
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseInteger(texts[i]));
        i = (i + 1) % 5;
    }
}
BENCHMARK(BM_ParseInteger);

void BM_strtol(benchmark::State &state)
{
    const char *texts[] = {"120", "45", "3999", "2047", "7"};
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::strtol(texts[i], nullptr, 10));
        i = (i + 1) % 5;
    }
}
BENCHMARK(BM_strtol);

void BM_FormatInteger(benchmark::State &state)
{
    std::int32_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatInteger(value));
        value = value < 4000 ? value + 7 : -3;
    }
}
BENCHMARK(BM_FormatInteger);

void BM_snprintf_d(benchmark::State &state)
{
    char text[16];
    std::int32_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%d", value));
        benchmark::ClobberMemory();
        value = value < 4000 ? value + 7 : -3;
    }
}
BENCHMARK(BM_snprintf_d);

} // namespace

BENCHMARK_MAIN();
