// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/BestFit.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace carteva {

namespace {

// Below these, a matrix counts as singular: the relative determinant (1 for evenly spread points)
// of exactly collinear points is rounding noise far below them, while points typed to 6 decimals
// that really span an area stay far above.
constexpr Extended CollinearPositions = 1e-12L;
constexpr Extended CollinearPixels = 1e-9L;

bool Finite(Extended v)
{
    return std::isfinite(v);
}

} // namespace

bool BestFit::HasFinitePosition(const TCalibPoint &point)
{
    return Finite(point.Lat) && Finite(point.Lon);
}

BestFit::BestFit(std::span<const TCalibPoint> points)
{
    std::vector<TCalibPoint> usable;
    usable.reserve(points.size());
    for (const TCalibPoint &point : points) {
        if (HasFinitePosition(point))
            usable.push_back(point);
    }
    used_ = usable.size();
    leftOut_ = points.size() - used_;
    if (used_ < 2) {
        reason_ = leftOut_ == 0 ? "Fewer than two points"
                                : "Fewer than two points with a valid latitude and longitude";
        return;
    }

    // The centre: the mean position (longitudes taken across the 180° meridian where the points
    // straddle it) and the mean pixel.
    lonC_ = usable.front().Lon;
    Extended sumLat = 0, sumLon = 0, sumX = 0, sumY = 0;
    for (const TCalibPoint &point : usable) {
        sumLat += point.Lat;
        sumLon += LonOffset(point.Lon);
        sumX += point.X;
        sumY += point.Y;
    }
    const auto n = static_cast<Extended>(used_);
    lonC_ += sumLon / n;
    if (std::fabs(usable.front().Lon) <= 180) {
        if (lonC_ > 180)
            lonC_ -= 360;
        else if (lonC_ < -180)
            lonC_ += 360;
    }
    latC_ = sumLat / n;
    xC_ = sumX / n;
    yC_ = sumY / n;
    cosLat_ = std::cos(latC_ * std::numbers::pi_v<Extended> / 180);
    if (!Finite(lonC_) || !Finite(latC_) || !Finite(cosLat_)) {
        reason_ = "The points' positions are out of range";
        return;
    }

    if (used_ == 2)
        FitSimilarity(usable);
    else
        FitAffine(usable);
    if (!reason_.empty())
        return;
    if (!Invert()) {
        if (reason_.empty())
            reason_ = "The fit is singular";
        return;
    }
}

std::size_t BestFit::Parameters() const
{
    switch (model_) {
    case Model::Similarity:
        return 4;
    case Model::Affine:
        return 6;
    case Model::None:
        break;
    }
    return 0;
}

Extended BestFit::LonOffset(Extended lon) const
{
    Extended d = lon - lonC_;
    if (d > 180)
        d -= 360;
    else if (d < -180)
        d += 360;
    return d;
}

// Two points fix a similarity exactly. In the local plane with north turned down (u = dLon × cos,
// w = -dLat), so that it turns the same way as the pixels, it is the complex product
// pixel - centre = b × (u + i w).
void BestFit::FitSimilarity(std::span<const TCalibPoint> points)
{
    const TCalibPoint &p = points[0];
    const TCalibPoint &q = points[1];
    const Extended du = (LonOffset(q.Lon) - LonOffset(p.Lon)) * cosLat_;
    const Extended dw = -(q.Lat - p.Lat);
    const Extended dx = Extended(q.X) - Extended(p.X);
    const Extended dy = Extended(q.Y) - Extended(p.Y);
    if (q.Lat == p.Lat && LonOffset(q.Lon) == LonOffset(p.Lon)) {
        reason_ = "Two points have the same position";
        return;
    }
    if (dx == 0 && dy == 0) {
        reason_ = "Two points lie on the same pixel";
        return;
    }
    const Extended norm = du * du + dw * dw;
    if (!Finite(norm)) {
        reason_ = "The points' positions are out of range";
        return;
    }
    if (!(norm > 0)) {
        reason_ = "The fit is singular";
        return;
    }
    const Extended br = (dx * du + dy * dw) / norm;
    const Extended bi = (dy * du - dx * dw) / norm;
    toPixel_[0][0] = br * cosLat_;
    toPixel_[0][1] = bi;
    toPixel_[1][0] = bi * cosLat_;
    toPixel_[1][1] = -br;
    model_ = Model::Similarity;
}

// Least squares on centred coordinates scaled to a mean square distance of 1, so that the 2 × 2
// system is as well conditioned as the points' spread allows, whatever the map's size or place.
void BestFit::FitAffine(std::span<const TCalibPoint> points)
{
    Extended sumSquares = 0;
    for (const TCalibPoint &point : points) {
        const Extended u = LonOffset(point.Lon) * cosLat_;
        const Extended v = point.Lat - latC_;
        sumSquares += u * u + v * v;
    }
    const auto n = static_cast<Extended>(points.size());
    scale_ = std::sqrt(sumSquares / n);
    if (!Finite(scale_)) {
        reason_ = "The points' positions are out of range";
        return;
    }
    if (scale_ == 0) {
        reason_ = "All points have the same position";
        return;
    }
    Extended suu = 0, suv = 0, svv = 0, sux = 0, svx = 0, suy = 0, svy = 0;
    for (const TCalibPoint &point : points) {
        const Extended u = LonOffset(point.Lon) * cosLat_ / scale_;
        const Extended v = (point.Lat - latC_) / scale_;
        const Extended x = point.X - xC_;
        const Extended y = point.Y - yC_;
        suu += u * u;
        suv += u * v;
        svv += v * v;
        sux += u * x;
        svx += v * x;
        suy += u * y;
        svy += v * y;
    }
    // suu + svv = n, so 4 det / n² lies between 0 (on one line) and 1 (evenly spread).
    const Extended det = suu * svv - suv * suv;
    if (!(4 * det / (n * n) >= CollinearPositions)) {
        reason_ = "All points lie on one line";
        return;
    }
    momentInverse_[0][0] = svv / det;
    momentInverse_[0][1] = -suv / det;
    momentInverse_[1][0] = -suv / det;
    momentInverse_[1][1] = suu / det;
    // Pixels per scaled unit, then per degree.
    const Extended ax = momentInverse_[0][0] * sux + momentInverse_[0][1] * svx;
    const Extended bx = momentInverse_[1][0] * sux + momentInverse_[1][1] * svx;
    const Extended ay = momentInverse_[0][0] * suy + momentInverse_[0][1] * svy;
    const Extended by = momentInverse_[1][0] * suy + momentInverse_[1][1] * svy;
    toPixel_[0][0] = ax * cosLat_ / scale_;
    toPixel_[0][1] = bx / scale_;
    toPixel_[1][0] = ay * cosLat_ / scale_;
    toPixel_[1][1] = by / scale_;
    model_ = Model::Affine;
}

bool BestFit::Invert()
{
    for (const auto &row : toPixel_) {
        if (!Finite(row[0]) || !Finite(row[1])) {
            model_ = Model::None;
            return false;
        }
    }
    // Judged per unit of the local plane, where both axes weigh alike.
    const Extended a = toPixel_[0][0] / cosLat_, b = toPixel_[0][1];
    const Extended c = toPixel_[1][0] / cosLat_, d = toPixel_[1][1];
    const Extended planeNorm = a * a + b * b + c * c + d * d;
    if (!(Finite(planeNorm) && 2 * std::fabs(a * d - b * c) >= CollinearPixels * planeNorm)) {
        model_ = Model::None;
        reason_ = "The points' pixels lie on one line";
        return false;
    }
    const Extended det = toPixel_[0][0] * toPixel_[1][1] - toPixel_[0][1] * toPixel_[1][0];
    toGeo_[0][0] = toPixel_[1][1] / det;
    toGeo_[0][1] = -toPixel_[0][1] / det;
    toGeo_[1][0] = -toPixel_[1][0] / det;
    toGeo_[1][1] = toPixel_[0][0] / det;
    for (const auto &row : toGeo_) {
        if (!Finite(row[0]) || !Finite(row[1])) {
            model_ = Model::None;
            return false;
        }
    }
    return true;
}

std::optional<std::pair<Extended, Extended>> BestFit::Map(Extended lat, Extended lon) const
{
    if (model_ == Model::None || !Finite(lat) || !Finite(lon))
        return std::nullopt;
    const Extended dLon = LonOffset(lon);
    const Extended dLat = lat - latC_;
    const Extended x = xC_ + toPixel_[0][0] * dLon + toPixel_[0][1] * dLat;
    const Extended y = yC_ + toPixel_[1][0] * dLon + toPixel_[1][1] * dLat;
    if (!Finite(x) || !Finite(y))
        return std::nullopt;
    return std::pair {x, y};
}

std::optional<PixelPoint> BestFit::GeoToPixel(Extended lat, Extended lon) const
{
    const auto pixel = Map(lat, lon);
    if (!pixel)
        return std::nullopt;
    const PixelPoint result {static_cast<double>(pixel->first), static_cast<double>(pixel->second)};
    if (!std::isfinite(result.X) || !std::isfinite(result.Y))
        return std::nullopt;
    return result;
}

std::optional<Pixel> BestFit::GeoToPixelRounded(Extended lat, Extended lon) const
{
    const auto pixel = Map(lat, lon);
    // The values whose nearest-even rounding fits a signed 64-bit integer.
    const auto fits = [](Extended v) { return v > -0x1p63L - 1 && v < 0x1p63L - 0.5L; };
    if (!pixel || !fits(pixel->first) || !fits(pixel->second))
        return std::nullopt;
    return Pixel {std::llrint(pixel->first), std::llrint(pixel->second)};
}

std::optional<GeoPosition> BestFit::PixelToGeo(double x, double y) const
{
    if (model_ == Model::None || !std::isfinite(x) || !std::isfinite(y))
        return std::nullopt;
    const Extended dx = x - xC_;
    const Extended dy = y - yC_;
    const Extended dLon = toGeo_[0][0] * dx + toGeo_[0][1] * dy;
    const Extended dLat = toGeo_[1][0] * dx + toGeo_[1][1] * dy;
    Extended lon = lonC_ + dLon;
    // Back into -180 … 180 where the fit reaches across the 180° meridian.
    if (std::fabs(lonC_) <= 180) {
        if (lon > 180)
            lon -= 360;
        else if (lon < -180)
            lon += 360;
    }
    const Extended lat = latC_ + dLat;
    if (!Finite(lat) || !Finite(lon))
        return std::nullopt;
    return GeoPosition {lat, lon};
}

std::optional<Extended> BestFit::Leverage(Extended lat, Extended lon) const
{
    if (model_ != Model::Affine || !Finite(lat) || !Finite(lon))
        return std::nullopt;
    const Extended u = LonOffset(lon) * cosLat_ / scale_;
    const Extended v = (lat - latC_) / scale_;
    const Extended h = 1 / static_cast<Extended>(used_)
        + u * (momentInverse_[0][0] * u + momentInverse_[0][1] * v)
        + v * (momentInverse_[1][0] * u + momentInverse_[1][1] * v);
    if (!Finite(h))
        return std::nullopt;
    return h;
}

} // namespace carteva
