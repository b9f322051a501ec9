// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/Mapping.h"

#include "calibration/BestFit.h"
#include "calibration/CheckedMath.h"
#include "calibration/MapProjection.h"

#include <algorithm>
#include <cmath>

namespace carteva {

namespace {

constexpr std::int64_t MinimumSeparation = 30;

bool Separated(std::int64_t a, std::int64_t b)
{
    return (a > b ? a - b : b - a) > MinimumSeparation;
}

// Whether some pair of points lies more than 30 px apart on both axes: sorted by X, each point
// is compared with the Y range of all points more than 30 px to its left, so a list of a million
// points on one row is judged as quickly as a handful.
bool HasSeparatedPair(std::span<const TCalibPoint> points)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> byX;
    byX.reserve(points.size());
    for (const TCalibPoint &point : points)
        byX.emplace_back(point.X, point.Y);
    std::sort(byX.begin(), byX.end());
    std::size_t left = 0;
    std::int64_t minY = 0, maxY = 0;
    for (const auto &[x, y] : byX) {
        for (; left < byX.size() && Separated(byX[left].first, x) && byX[left].first < x; ++left) {
            minY = left == 0 ? byX[left].second : std::min(minY, byX[left].second);
            maxY = left == 0 ? byX[left].second : std::max(maxY, byX[left].second);
        }
        if (left > 0 && ((Separated(minY, y) && minY < y) || (Separated(maxY, y) && maxY > y)))
            return true;
    }
    return false;
}

std::string TwoNearestReason(std::span<const TCalibPoint> points)
{
    if (points.size() < 2)
        return "Fewer than two points";
    if (!HasSeparatedPair(points))
        return "No two points lie more than 30 pixels apart both across and down";
    return {};
}

// fromPixel + (position - fromGeo) × (toPixel - fromPixel) / (toGeo - fromGeo), in the order and
// with the checks of the rounded mapping, only without the rounding.
Extended InterpolateExact(Extended position, Extended fromGeo, Extended toGeo,
                          std::int32_t fromPixel, std::int32_t toPixel)
{
    const auto pixelSpan = static_cast<Extended>(std::int64_t(toPixel) - std::int64_t(fromPixel));
    const Extended product = CheckedMul(CheckedSub(position, fromGeo), pixelSpan);
    return CheckedAdd(fromPixel, CheckedDiv(product, CheckedSub(toGeo, fromGeo)));
}

Extended SquaredPixelDistance(const TCalibPoint &point, double x, double y)
{
    const Extended dx = Extended(point.X) - x;
    const Extended dy = Extended(point.Y) - y;
    return dx * dx + dy * dy;
}

// The first of the points nearest to (x, y) among those `eligible` accepts.
template <typename Eligible>
std::optional<std::size_t> NearestByPixel(std::span<const TCalibPoint> points, double x, double y,
                                          Eligible eligible)
{
    std::optional<std::size_t> nearest;
    Extended best = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!eligible(points[i]))
            continue;
        const Extended d = SquaredPixelDistance(points[i], x, y);
        if (!nearest || d < best) {
            best = d;
            nearest = i;
        }
    }
    return nearest;
}

// The two-nearest rule the other way round: the point nearest to the pixel, and the nearest other
// point more than 30 px from it on both axes; each axis interpolated on its own.
std::optional<GeoPosition> TwoNearestPixelToGeo(std::span<const TCalibPoint> points, double x,
                                                double y)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return std::nullopt;
    const std::optional<std::size_t> nearest
        = NearestByPixel(points, x, y, [](const TCalibPoint &) { return true; });
    if (!nearest)
        return std::nullopt;
    const TCalibPoint &p1 = points[*nearest];
    const std::optional<std::size_t> second
        = NearestByPixel(points, x, y, [&p1](const TCalibPoint &point) {
              return &point != &p1 && Separated(point.X, p1.X) && Separated(point.Y, p1.Y);
          });
    if (!second)
        return std::nullopt;
    const TCalibPoint &p2 = points[*second];
    const Extended lon = p1.Lon
        + (x - Extended(p1.X)) * (p2.Lon - p1.Lon) / (Extended(p2.X) - Extended(p1.X));
    const Extended lat = p1.Lat
        + (y - Extended(p1.Y)) * (p2.Lat - p1.Lat) / (Extended(p2.Y) - Extended(p1.Y));
    if (!std::isfinite(lat) || !std::isfinite(lon))
        return std::nullopt;
    return GeoPosition {lat, lon};
}

} // namespace

bool MappingSetup::operator==(const MappingSetup &other) const
{
    return Kind == other.Kind && ProjectionDefinition() == other.ProjectionDefinition();
}

std::string MappingSetup::ProjectionDefinition() const
{
    return Projection ? Projection->Definition() : std::string();
}

Mapping::Mapping(const MappingSetup &setup, std::span<const TCalibPoint> points)
    : setup_(setup)
{
    if (setup_.Kind == MappingKind::BestFit) {
        if (setup_.Projection)
            projection_ = std::make_unique<MapProjection>(*setup_.Projection);
        fit_ = std::make_unique<BestFit>(points, projection_.get());
        reason_ = fit_->Reason();
    } else {
        points_.assign(points.begin(), points.end());
        reason_ = TwoNearestReason(points_);
    }
}

Mapping::~Mapping() = default;
Mapping::Mapping(Mapping &&) noexcept = default;
Mapping &Mapping::operator=(Mapping &&) noexcept = default;

std::optional<Pixel> Mapping::GeoToPixel(Extended lat, Extended lon) const
{
    if (fit_)
        return fit_->GeoToPixelRounded(lat, lon);
    return carteva::GeoToPixel(points_, lat, lon);
}

std::optional<PixelPoint> Mapping::GeoToPixelExact(Extended lat, Extended lon) const
{
    if (fit_)
        return fit_->GeoToPixel(lat, lon);
    const std::optional<ReferencePair> pair = FindReferencePair(points_, lat, lon);
    if (!pair)
        return std::nullopt;
    const TCalibPoint &p1 = points_[pair->Nearest];
    const TCalibPoint &p2 = points_[pair->Second];
    const Extended x = InterpolateExact(lon, p1.Lon, p2.Lon, p1.X, p2.X);
    const Extended y = InterpolateExact(lat, p1.Lat, p2.Lat, p1.Y, p2.Y);
    // Where the rounded pixel would fail beyond the 64-bit range, so does this one.
    CheckedRound(x);
    CheckedRound(y);
    return PixelPoint {static_cast<double>(x), static_cast<double>(y)};
}

std::optional<GeoPosition> Mapping::PixelToGeo(double x, double y) const
{
    if (fit_)
        return fit_->PixelToGeo(x, y);
    return TwoNearestPixelToGeo(points_, x, y);
}

} // namespace carteva
