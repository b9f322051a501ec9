// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/Residuals.h"

#include "calibration/BestFit.h"
#include "calibration/Errors.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace carteva {

namespace {

constexpr double EarthMeanRadiusMetres = 6371008.8; // WGS 84 mean radius (2a + b) / 3

// A point is suspect when, left out, it lands more than this many times the median distance of
// all points left out in the same way, and more than SuspectMinimumPixels from its own pixel.
constexpr double SuspectFactor = 3;
constexpr double SuspectMinimumPixels = 5;
constexpr std::size_t SuspectMinimumPoints = 3;

// Leaving each point out of the two-nearest mapping maps every point with all the others, which
// takes time growing with the square of the count; beyond this many points it is not attempted.
constexpr std::size_t MaxTwoNearestLeaveOneOut = 5000;

// A leverage this close to 1 means the others alone cannot place the point.
constexpr Extended LeverageLimit = 1 - 1e-9L;

double GreatCircleMetres(Extended lat1, Extended lon1, Extended lat2, Extended lon2)
{
    constexpr double radians = std::numbers::pi / 180;
    const double phi1 = double(lat1) * radians, phi2 = double(lat2) * radians;
    const double sinLat = std::sin((phi2 - phi1) / 2);
    const double sinLon = std::sin(double(lon2 - lon1) * radians / 2);
    const double h = sinLat * sinLat + std::cos(phi1) * std::cos(phi2) * sinLon * sinLon;
    return 2 * EarthMeanRadiusMetres * std::asin(std::min(1.0, std::sqrt(h)));
}

void SetPixels(PointResidual &residual, const TCalibPoint &point, const PixelPoint &mapped)
{
    residual.DX = mapped.X - point.X;
    residual.DY = mapped.Y - point.Y;
    residual.Pixels = std::hypot(residual.DX, residual.DY);
}

void SetMetres(PointResidual &residual, const TCalibPoint &point,
               const std::optional<GeoPosition> &back)
{
    if (back)
        residual.Metres = GreatCircleMetres(point.Lat, point.Lon, back->Lat, back->Lon);
    else
        residual.Known = false;
}

void BestFitResiduals(std::span<const TCalibPoint> points, ResidualReport &report)
{
    const BestFit fit(points);
    report.Reason = fit.Reason();
    if (!report.Reason.empty())
        return;
    double sumPixels = 0, sumMetres = 0;
    std::size_t known = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TCalibPoint &point = points[i];
        PointResidual &residual = report.Points[i];
        const std::optional<PixelPoint> mapped = fit.GeoToPixel(point.Lat, point.Lon);
        if (!mapped)
            continue;
        residual.Known = true;
        SetPixels(residual, point, *mapped);
        SetMetres(residual, point, fit.PixelToGeo(point.X, point.Y));
        if (!residual.Known)
            continue;
        ++known;
        sumPixels += residual.Pixels * residual.Pixels;
        sumMetres += residual.Metres * residual.Metres;

        if (fit.Kind() == BestFit::Model::Affine && fit.Used() > 3) {
            const std::optional<Extended> leverage = fit.Leverage(point.Lat, point.Lon);
            if (leverage && *leverage < LeverageLimit)
                residual.LeaveOneOutPixels = double(residual.Pixels / (1 - *leverage));
        } else if (fit.Used() == 3) {
            // The other two fix a similarity rather than a smaller affine transform.
            std::vector<TCalibPoint> others(points.begin(), points.end());
            others.erase(others.begin() + std::ptrdiff_t(i));
            const BestFit without(others);
            if (const auto p = without.GeoToPixel(point.Lat, point.Lon))
                residual.LeaveOneOutPixels = std::hypot(p->X - point.X, p->Y - point.Y);
        }
    }
    const std::size_t parameters = fit.Parameters();
    if (known == fit.Used() && known > parameters) {
        report.RmsPixels = std::sqrt(sumPixels / double(known - parameters));
        report.RmsMetres = std::sqrt(sumMetres / double(known - parameters));
    }
}

void TwoNearestResiduals(std::span<const TCalibPoint> points, ResidualReport &report)
{
    report.Reason = Mapping(MappingKind::TwoNearest, points).Reason();
    if (!report.Reason.empty() || points.size() < 3 || points.size() > MaxTwoNearestLeaveOneOut)
        return;
    double sumPixels = 0, sumMetres = 0;
    std::size_t known = 0;
    std::vector<TCalibPoint> others;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TCalibPoint &point = points[i];
        if (!BestFit::HasFinitePosition(point))
            continue;
        others.assign(points.begin(), points.end());
        others.erase(others.begin() + std::ptrdiff_t(i));
        const Mapping without(MappingKind::TwoNearest, others);
        PointResidual &residual = report.Points[i];
        try {
            const std::optional<PixelPoint> mapped = without.GeoToPixelExact(point.Lat, point.Lon);
            if (!mapped)
                continue;
            residual.Known = true;
            SetPixels(residual, point, *mapped);
        } catch (const Error &) {
            // The other points cannot place this one (two of them share a latitude, say).
            continue;
        }
        SetMetres(residual, point, without.PixelToGeo(point.X, point.Y));
        if (!residual.Known)
            continue;
        residual.LeaveOneOutPixels = residual.Pixels;
        ++known;
        sumPixels += residual.Pixels * residual.Pixels;
        sumMetres += residual.Metres * residual.Metres;
    }
    if (known > 0) {
        report.RmsPixels = std::sqrt(sumPixels / double(known));
        report.RmsMetres = std::sqrt(sumMetres / double(known));
    }
}

void MarkSuspects(ResidualReport &report)
{
    std::vector<double> leftOut;
    for (const PointResidual &residual : report.Points) {
        if (residual.LeaveOneOutPixels)
            leftOut.push_back(*residual.LeaveOneOutPixels);
    }
    if (leftOut.size() < SuspectMinimumPoints)
        return;
    const std::size_t middle = leftOut.size() / 2;
    std::nth_element(leftOut.begin(), leftOut.begin() + std::ptrdiff_t(middle), leftOut.end());
    double median = leftOut[middle];
    if (leftOut.size() % 2 == 0)
        median = (median + *std::max_element(leftOut.begin(), leftOut.begin() + std::ptrdiff_t(middle))) / 2;
    for (PointResidual &residual : report.Points) {
        const std::optional<double> &pixels = residual.LeaveOneOutPixels;
        residual.Suspect = pixels && *pixels > SuspectFactor * median
            && *pixels > SuspectMinimumPixels;
    }
}

} // namespace

ResidualReport ComputeResiduals(MappingKind kind, std::span<const TCalibPoint> points)
{
    ResidualReport report;
    report.Kind = kind;
    report.Points.resize(points.size());
    report.LeftOut = static_cast<std::size_t>(
        std::count_if(points.begin(), points.end(),
                      [](const TCalibPoint &p) { return !BestFit::HasFinitePosition(p); }));
    if (kind == MappingKind::BestFit)
        BestFitResiduals(points, report);
    else
        TwoNearestResiduals(points, report);
    MarkSuspects(report);
    return report;
}

} // namespace carteva
