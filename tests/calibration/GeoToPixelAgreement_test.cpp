// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CheckedMath.h"
#include "calibration/GeoToPixel.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace carteva {
namespace {

// The mapping written out step by step, every key computed exactly in both passes: what the
// optimised GeoToPixel must agree with, result for result and error for error.
std::optional<Pixel> ReferenceGeoToPixel(std::span<const TCalibPoint> points, Extended lat,
                                         Extended lon)
{
    const auto key = [&](const TCalibPoint &p) {
        const Extended dLat = CheckedSub(p.Lat, lat);
        const Extended dLon = CheckedSub(p.Lon, lon);
        return CheckedRound(CheckedMul(
            100, CheckedSqrt(CheckedAdd(CheckedMul(dLat, dLat), CheckedMul(dLon, dLon)))));
    };
    std::int64_t best1 = 99999999, best2 = 1215752191;
    int nearest = -1, second = -1;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (const std::int64_t k = key(points[i]); k < best1) {
            best1 = k;
            nearest = int(i);
        }
    if (nearest < 0)
        return std::nullopt;
    const TCalibPoint &p1 = points[std::size_t(nearest)];
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (int(i) == nearest)
            continue;
        const std::int64_t k = key(points[i]);
        if (k < best2 && std::llabs(std::int64_t(points[i].X) - p1.X) > 30
            && std::llabs(std::int64_t(points[i].Y) - p1.Y) > 30) {
            best2 = k;
            second = int(i);
        }
    }
    if (second < 0)
        return std::nullopt;
    const TCalibPoint &p2 = points[std::size_t(second)];
    const auto axis = [](Extended v, Extended g1, Extended g2, std::int32_t c1, std::int32_t c2) {
        return std::int64_t(c1)
            + CheckedRound(
                   CheckedDiv(CheckedMul(CheckedSub(v, g1), Extended(std::int64_t(c2) - c1)),
                              CheckedSub(g2, g1)));
    };
    return Pixel {axis(lon, p1.Lon, p2.Lon, p1.X, p2.X), axis(lat, p1.Lat, p2.Lat, p1.Y, p2.Y)};
}

std::string Outcome(const std::function<std::optional<Pixel>()> &mapping)
{
    try {
        const std::optional<Pixel> pixel = mapping();
        if (!pixel)
            return "none";
        return std::to_string(pixel->X) + "," + std::to_string(pixel->Y);
    } catch (const std::exception &e) {
        return e.what();
    }
}

TEST(GeoToPixelAgreement, MatchesTheStepByStepMappingOnRandomCalibrations)
{
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<int> pixel(0, 4000);
    std::uniform_int_distribution<int> count(0, 80);
    // Coordinates on a grid of 0.0025°, so that many distances land exactly on half hundredths
    // and ties are common; plus a few off-grid values and some beyond the quick range.
    std::uniform_int_distribution<int> grid(-400, 400);
    std::uniform_real_distribution<double> fine(-2, 2);
    const auto coordinate = [&](Extended centre) -> Extended {
        switch (random() % 8) {
        case 0:
            return centre + Extended(fine(random));
        case 1:
            return centre + Extended(fine(random)) * 1e5L;
        default:
            return centre + Extended(grid(random)) * 0.0025L;
        }
    };
    for (int round = 0; round < 20000; ++round) {
        std::vector<TCalibPoint> points(std::size_t(count(random)));
        for (TCalibPoint &p : points) {
            p.X = pixel(random);
            p.Y = pixel(random);
            p.Lat = coordinate(50);
            p.Lon = coordinate(14);
        }
        const Extended lat = coordinate(50), lon = coordinate(14);
        ASSERT_EQ(Outcome([&] { return GeoToPixel(points, lat, lon); }),
                  Outcome([&] { return ReferenceGeoToPixel(points, lat, lon); }))
            << "round " << round;
    }
}

TEST(GeoToPixelAgreement, DistancesAtHalfHundredthsAndFailuresAgree)
{
    // Keys whose exact value lies at or next to a half (2^-8 degrees is 0.390625 hundredths; 0.5
    // and 1.5 hundredths come from extended subtraction), failing pairs and non-finite positions.
    const Extended inf = std::numeric_limits<Extended>::infinity();
    const std::vector<std::vector<TCalibPoint>> calibrations = {
        {{0, 0, 50.015L, 14, {}, {}}, {100, 100, 50.01L, 14, {}, {}}, {200, 200, 49, 15, {}, {}}},
        {{0, 0, 50.005L, 14, {}, {}}, {100, 100, 50, 14.005L, {}, {}}, {200, 200, 49, 15, {}, {}}},
        {{0, 0, 50 + 0x1p-8L, 14, {}, {}}, {100, 100, 50, 14 + 0x1p-7L, {}, {}}},
        {{0, 0, 50, 14, {}, {}}, {100, 100, 49, 14, {}, {}}},
        {{0, 0, 1e4000L, 14, {}, {}}, {100, 100, 49, 15, {}, {}}},
    };
    const std::pair<Extended, Extended> positions[]
        = {{50, 14}, {49.5L, 14.5L}, {inf, 14}, {50, 14.25L}, {1e3000L, 1e3000L}};
    for (const auto &points : calibrations)
        for (const auto &[lat, lon] : positions)
            EXPECT_EQ(Outcome([&] { return GeoToPixel(points, lat, lon); }),
                      Outcome([&] { return ReferenceGeoToPixel(points, lat, lon); }))
                << static_cast<double>(lat) << ", " << static_cast<double>(lon);
}

} // namespace
} // namespace carteva
