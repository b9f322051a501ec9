// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/GeoToPixel.h"

#include "calibration/CheckedMath.h"
#include "calibration/Errors.h"

#include <cmath>

namespace carteva {

namespace {

constexpr Extended DistanceScale = 100;
constexpr std::int64_t FirstPassStart = 99999999;
constexpr std::int64_t SecondPassStart = 1215752191;
constexpr std::int64_t MinimumSeparation = 30;

// Distance in whole hundredths of a degree; degrees of latitude and longitude count alike.
std::int64_t DistanceKey(const TCalibPoint &point, Extended lat, Extended lon)
{
    const Extended dLat = CheckedSub(point.Lat, lat);
    const Extended squareLat = CheckedMul(dLat, dLat);
    const Extended dLon = CheckedSub(point.Lon, lon);
    const Extended squareLon = CheckedMul(dLon, dLon);
    const Extended distance = CheckedSqrt(CheckedAdd(squareLat, squareLon));
    return CheckedRound(CheckedMul(DistanceScale, distance));
}

// Coordinates within this bound cannot make the exact key fail, and keep the quick estimate
// below within 1e-8 of it.
constexpr double QuickBound = 1e4;

bool QuickCoordinate(double value)
{
    return std::fabs(value) <= QuickBound; // false for NaN and infinities too
}

// The same key from a double-precision estimate, when the estimate decides it: for coordinates
// within QuickBound the estimate and the exact extended value differ by far less than 1e-6, so
// unless the estimate lies within 1e-6 of a half, both round to the same integer. Nothing when
// the estimate is that close to a half; the exact computation then decides.
std::optional<std::int64_t> QuickDistanceKey(double pointLat, double pointLon, double lat,
                                             double lon)
{
    if (!QuickCoordinate(pointLat) || !QuickCoordinate(pointLon))
        return std::nullopt;
    const double dLat = pointLat - lat;
    const double dLon = pointLon - lon;
    const double estimate = 100.0 * std::sqrt(dLat * dLat + dLon * dLon);
    // Truncation is floor here, the estimate being at most about 3e6 and never negative; it
    // costs a conversion where std::floor is a call on plain x86-64.
    const auto rounded = static_cast<std::int64_t>(estimate + 0.5);
    if (std::fabs(estimate - static_cast<double>(rounded)) >= 0.5 - 1e-6)
        return std::nullopt;
    return rounded;
}

std::int64_t Distance(std::int64_t a, std::int64_t b)
{
    return a > b ? a - b : b - a;
}

// fromPixel + Round((position - fromGeo) × (toPixel - fromPixel) / (toGeo - fromGeo)), the
// product before the division: the other order rounds differently, and stored calibrations were
// made with this one.
std::int64_t Interpolate(Extended position, Extended fromGeo, Extended toGeo,
                         std::int32_t fromPixel, std::int32_t toPixel)
{
    const Extended offset = CheckedSub(position, fromGeo);
    const auto pixelSpan = static_cast<Extended>(std::int64_t(toPixel) - std::int64_t(fromPixel));
    const Extended product = CheckedMul(offset, pixelSpan);
    const Extended geoSpan = CheckedSub(toGeo, fromGeo);
    const std::int64_t step = CheckedRound(CheckedDiv(product, geoSpan));
    std::int64_t pixel;
    if (__builtin_add_overflow(std::int64_t(fromPixel), step, &pixel))
        throw EInvalidOp();
    return pixel;
}

} // namespace

std::optional<ReferencePair> FindReferencePair(std::span<const TCalibPoint> points, Extended lat,
                                               Extended lon)
{
    // The keys of the first pass are kept for the second (for the usual handful of points), and
    // the second computes a key only for a point that passes the separation test. A key is a pure
    // function of its point, and each was computed once without failing, so this gives exactly
    // the results and errors of computing every key in both passes.
    constexpr std::size_t KeptKeys = 64;
    std::int64_t keys[KeptKeys];
    std::int64_t best1 = FirstPassStart;
    std::ptrdiff_t nearest = -1;
    const double quickLat = static_cast<double>(lat);
    const double quickLon = static_cast<double>(lon);
    const bool quick = QuickCoordinate(quickLat) && QuickCoordinate(quickLon);
    for (std::size_t i = 0; i < points.size(); ++i) {
        std::optional<std::int64_t> quickKey;
        if (quick)
            quickKey = QuickDistanceKey(static_cast<double>(points[i].Lat),
                                        static_cast<double>(points[i].Lon), quickLat, quickLon);
        const std::int64_t key = quickKey ? *quickKey : DistanceKey(points[i], lat, lon);
        if (i < KeptKeys)
            keys[i] = key;
        if (key < best1) {
            best1 = key;
            nearest = static_cast<std::ptrdiff_t>(i);
        }
    }
    if (nearest < 0)
        return std::nullopt;

    const TCalibPoint &p1 = points[static_cast<std::size_t>(nearest)];
    std::int64_t best2 = SecondPassStart;
    std::ptrdiff_t second = -1;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (static_cast<std::ptrdiff_t>(i) == nearest
            || Distance(points[i].X, p1.X) <= MinimumSeparation
            || Distance(points[i].Y, p1.Y) <= MinimumSeparation)
            continue;
        const std::int64_t key = i < KeptKeys ? keys[i] : DistanceKey(points[i], lat, lon);
        if (key < best2) {
            best2 = key;
            second = static_cast<std::ptrdiff_t>(i);
        }
    }
    if (second < 0)
        return std::nullopt;

    return ReferencePair {static_cast<std::size_t>(nearest), static_cast<std::size_t>(second)};
}

std::optional<Pixel> GeoToPixel(std::span<const TCalibPoint> points, Extended lat, Extended lon)
{
    const std::optional<ReferencePair> pair = FindReferencePair(points, lat, lon);
    if (!pair)
        return std::nullopt;
    const TCalibPoint &p1 = points[pair->Nearest];
    const TCalibPoint &p2 = points[pair->Second];
    const std::int64_t x = Interpolate(lon, p1.Lon, p2.Lon, p1.X, p2.X);
    const std::int64_t y = Interpolate(lat, p1.Lat, p2.Lat, p1.Y, p2.Y);
    return Pixel {x, y};
}

} // namespace carteva
