// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/Residuals.h"

#include "calibration/BestFit.h"
#include "calibration/Errors.h"
#include "calibration/MapProjection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace carteva {

namespace {

constexpr double EarthMeanRadiusMetres = 6371008.8; // WGS 84 mean radius (2a + b) / 3

// How a suspect point is told (see MarkSuspects). The 3 keeps a good point of an unevenly drawn
// map unflagged; the 5 px lets clicks a pixel or two off pass on a map whose other points fit
// exactly.
constexpr double SuspectFactor = 3;
constexpr double SuspectMinimumPixels = 5;
constexpr std::size_t SuspectCandidates = 8;
constexpr std::size_t SuspectMinimumPoints = 3;

// Leaving each point out of the two-nearest mapping maps every point with all the others, which
// takes time growing with the square of the count; beyond this many points it is not attempted.
constexpr std::size_t MaxTwoNearestLeaveOneOut = 1000;
// Up to this many points, a residual's metres under the two nearest points are read at the scale
// of the fit through the other points.
constexpr std::size_t OwnScalePoints = 100;

void SetPixels(PointResidual &residual, const TCalibPoint &point, const PixelPoint &mapped)
{
    residual.DX = mapped.X - point.X;
    residual.DY = mapped.Y - point.Y;
    residual.Pixels = std::hypot(residual.DX, residual.DY);
}

// The ground distance between where the point was placed and its own pixel, both read at the
// best fit's scale: the pixels' length in metres, so the two columns tell one story.
void SetMetres(PointResidual &residual, const TCalibPoint &point, const PixelPoint &mapped,
               const BestFit &fit)
{
    const std::optional<GeoPosition> own = fit.PixelToGeo(point.X, point.Y);
    const std::optional<GeoPosition> placed = fit.PixelToGeo(mapped.X, mapped.Y);
    if (own && placed)
        residual.Metres = GreatCircleMetres(placed->Lat, placed->Lon, own->Lat, own->Lon);
    else
        residual.Known = false;
}

// Each point's distance from its own pixel when mapped with the other points alone, under the best
// fit (with the model it chooses for them) or the two nearest points.
std::vector<std::optional<double>> LeaveOneOut(MappingKind kind, std::span<const TCalibPoint> points,
                                               const MapProjection *projection)
{
    std::vector<std::optional<double>> result(points.size());
    std::vector<TCalibPoint> others;
    const auto mappedWithout = [&](std::size_t i, const auto &map) -> std::optional<double> {
        others.assign(points.begin(), points.end());
        others.erase(others.begin() + std::ptrdiff_t(i));
        const std::optional<PixelPoint> p = map(others, points[i]);
        if (!p)
            return std::nullopt;
        return std::hypot(p->X - points[i].X, p->Y - points[i].Y);
    };
    if (kind == MappingKind::TwoNearest) {
        if (points.size() < 3 || points.size() > MaxTwoNearestLeaveOneOut)
            return result;
        for (std::size_t i = 0; i < points.size(); ++i) {
            try {
                result[i] = mappedWithout(i, [](const auto &rest, const TCalibPoint &point) {
                    return Mapping(MappingKind::TwoNearest, rest)
                        .GeoToPixelExact(point.Lat, point.Lon);
                });
            } catch (const Error &) {
                // The others cannot place this point (two of them share a latitude, say).
            }
        }
        return result;
    }
    const BestFit fit(points, projection);
    if (!fit.Reason().empty())
        return result;
    if (fit.Used() != 3)
        return fit.LeaveOneOut();
    // The other two fix a similarity rather than a smaller affine transform.
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (BestFit::HasFinitePosition(points[i]))
            result[i] = mappedWithout(i, [projection](const auto &rest, const TCalibPoint &point) {
                return BestFit(rest, projection).GeoToPixel(point.Lat, point.Lon);
            });
    }
    return result;
}

void BestFitResiduals(std::span<const TCalibPoint> points, const BestFit &fit,
                      const std::vector<std::optional<double>> &leftOut, ResidualReport &report)
{
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
        SetMetres(residual, point, *mapped, fit);
        if (!residual.Known)
            continue;
        residual.LeaveOneOutPixels = leftOut[i];
        ++known;
        sumPixels += residual.Pixels * residual.Pixels;
        sumMetres += residual.Metres * residual.Metres;
    }
    const std::size_t parameters = fit.Parameters();
    if (known == fit.Used() && known > parameters) {
        report.RmsPixels = std::sqrt(sumPixels / double(known - parameters));
        report.RmsMetres = std::sqrt(sumMetres / double(known - parameters));
    }
}

// Points whose position is not finite are left out, as the best fit leaves them out.
std::vector<std::size_t> FinitePoints(std::span<const TCalibPoint> points)
{
    std::vector<std::size_t> result;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (BestFit::HasFinitePosition(points[i]))
            result.push_back(i);
    }
    return result;
}

std::vector<TCalibPoint> Subset(std::span<const TCalibPoint> points,
                                const std::vector<std::size_t> &indices)
{
    std::vector<TCalibPoint> result;
    result.reserve(indices.size());
    for (const std::size_t i : indices)
        result.push_back(points[i]);
    return result;
}

void TwoNearestResiduals(std::span<const TCalibPoint> points, const BestFit &fit,
                         const MapProjection *projection, ResidualReport &report)
{
    report.Reason = Mapping(MappingKind::TwoNearest, points).Reason();
    const std::vector<std::size_t> finite = FinitePoints(points);
    const std::vector<TCalibPoint> usable = Subset(points, finite);
    if (!report.Reason.empty() || usable.size() < 3 || usable.size() > MaxTwoNearestLeaveOneOut)
        return;
    double sumPixels = 0, sumMetres = 0;
    std::size_t known = 0;
    std::vector<TCalibPoint> others;
    for (std::size_t k = 0; k < usable.size(); ++k) {
        const TCalibPoint &point = usable[k];
        others.assign(usable.begin(), usable.end());
        others.erase(others.begin() + std::ptrdiff_t(k));
        const Mapping without(MappingKind::TwoNearest, others);
        PointResidual &residual = report.Points[finite[k]];
        std::optional<PixelPoint> mapped;
        try {
            mapped = without.GeoToPixelExact(point.Lat, point.Lon);
        } catch (const Error &) {
            // The others cannot place this point (two of them share a latitude, say).
        }
        if (!mapped)
            continue;
        residual.Known = true;
        SetPixels(residual, point, *mapped);
        // At the scale the others give: the point itself may be the one that is wrong. Among many
        // points one hardly changes the scale, and a fit for each would cost the square.
        if (usable.size() <= OwnScalePoints)
            SetMetres(residual, point, *mapped, BestFit(others, projection));
        else
            SetMetres(residual, point, *mapped, fit);
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

double Median(std::vector<double> values)
{
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(middle), values.end());
    const double upper = values[middle];
    if (values.size() % 2 != 0)
        return upper;
    return (upper + *std::max_element(values.begin(), values.begin() + std::ptrdiff_t(middle))) / 2;
}

// One bad point throws its neighbours out of line too: a least-squares fit spreads its error over
// the others, and under the nearest-pair rule it misplaces the points it is paired with, often
// further than itself. So a point is judged against the others as they lie once it is set aside:
// of the points that land more than SuspectMinimumPixels off when left out (the worst few), the
// one whose setting aside brings the others most in line (the smallest root mean square of their
// own leave-one-out residuals: on a few points a median hardly tells which one was set aside) is
// suspect when its leave-one-out residual is more than SuspectFactor times their median. It is then set aside and the rest are judged again, for at most a third of
// the points.
void MarkSuspects(std::span<const TCalibPoint> points, const std::vector<std::optional<double>> &byFit,
                  const MapProjection *projection, ResidualReport &report)
{
    std::vector<std::size_t> active = FinitePoints(points);
    std::vector<std::optional<double>> leftOut;
    for (const std::size_t i : active)
        leftOut.push_back(byFit[i]);
    for (std::size_t suspects = 0; 3 * (suspects + 1) <= active.size() + suspects; ++suspects) {
        std::vector<std::size_t> candidates;
        for (std::size_t k = 0; k < leftOut.size(); ++k) {
            if (leftOut[k] && *leftOut[k] > SuspectMinimumPixels)
                candidates.push_back(k);
        }
        std::sort(candidates.begin(), candidates.end(),
                  [&](std::size_t a, std::size_t b) { return *leftOut[a] > *leftOut[b]; });
        if (candidates.size() > SuspectCandidates)
            candidates.resize(SuspectCandidates);

        std::optional<std::size_t> best;
        double bestMedian = 0, bestRms = 0;
        std::vector<std::optional<double>> bestRest;
        for (const std::size_t k : candidates) {
            std::vector<std::size_t> rest = active;
            rest.erase(rest.begin() + std::ptrdiff_t(k));
            std::vector<std::optional<double>> restLeftOut
                = LeaveOneOut(MappingKind::BestFit, Subset(points, rest), projection);
            std::vector<double> known;
            for (const std::optional<double> &pixels : restLeftOut) {
                if (pixels)
                    known.push_back(*pixels);
            }
            if (known.size() < SuspectMinimumPoints)
                continue;
            const double median = Median(known);
            double sumSquares = 0;
            for (const double pixels : known)
                sumSquares += pixels * pixels;
            const double rms = std::sqrt(sumSquares / double(known.size()));
            if (!best || rms < bestRms) {
                bestRms = rms;
                best = k;
                bestMedian = median;
                bestRest = std::move(restLeftOut);
            }
        }
        if (!best || !(*leftOut[*best] > SuspectFactor * bestMedian))
            return;
        report.Points[active[*best]].Suspect = true;
        active.erase(active.begin() + std::ptrdiff_t(*best));
        leftOut = std::move(bestRest);
    }
}

} // namespace

double GreatCircleMetres(Extended lat1, Extended lon1, Extended lat2, Extended lon2)
{
    constexpr double radians = std::numbers::pi / 180;
    const double phi1 = double(lat1) * radians, phi2 = double(lat2) * radians;
    const double sinLat = std::sin((phi2 - phi1) / 2);
    const double sinLon = std::sin(double(lon2 - lon1) * radians / 2);
    const double h = sinLat * sinLat + std::cos(phi1) * std::cos(phi2) * sinLon * sinLon;
    return 2 * EarthMeanRadiusMetres * std::asin(std::min(1.0, std::sqrt(h)));
}

ResidualReport ComputeResiduals(const MappingSetup &setup, std::span<const TCalibPoint> points)
{
    ResidualReport report;
    report.Kind = setup.Kind;
    report.Points.resize(points.size());
    report.LeftOut = static_cast<std::size_t>(
        std::count_if(points.begin(), points.end(),
                      [](const TCalibPoint &p) { return !BestFit::HasFinitePosition(p); }));
    // One copy of the projection for all the fits made here.
    std::optional<MapProjection> projection;
    if (setup.Projection)
        projection.emplace(*setup.Projection);
    const MapProjection *plane = projection ? &*projection : nullptr;
    const BestFit fit(points, plane);
    report.Model = fit.Summary();
    const std::vector<std::optional<double>> byFit = LeaveOneOut(MappingKind::BestFit, points, plane);
    if (setup.Kind == MappingKind::BestFit)
        BestFitResiduals(points, fit, byFit, report);
    else
        TwoNearestResiduals(points, fit, plane, report);
    double sumSquares = 0;
    std::size_t counted = 0;
    for (std::size_t i = 0; i < report.Points.size(); ++i) {
        const std::optional<double> &left = report.Points[i].LeaveOneOutPixels;
        if (!left)
            continue;
        sumSquares += *left * *left;
        ++counted;
        if (!report.WorstLeaveOneOut || *left > *report.WorstLeaveOneOut) {
            report.WorstLeaveOneOut = *left;
            report.WorstPoint = i;
        }
    }
    if (counted > 0)
        report.LeaveOneOutRms = std::sqrt(sumSquares / double(counted));
    MarkSuspects(points, byFit, plane, report);
    return report;
}

} // namespace carteva
