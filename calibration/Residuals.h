// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace carteva {

// How far one point lies from where the mapping puts it.
struct PointResidual
{
    // False when the point has no residual: its lat or lon is not finite, or too few other
    // points are left to judge it by.
    bool Known = false;
    // The mapped pixel minus the point's own pixel. Best fit: the fit through all points;
    // two nearest points: leave-one-out (the point's position mapped with the other points).
    double DX = 0;
    double DY = 0;
    double Pixels = 0; // the length of (DX, DY)
    double Metres = 0; // ground distance between the point's position and its pixel's position
    // Pixels and metres are one offset: the metres are the pixels' ground distance at the map's
    // scale as the best fit gives it, whichever mapping placed the point.
    // The residual of a fit made without this point (for judging it: a least-squares fit spreads
    // one bad point's error over the others); empty where it cannot be computed.
    std::optional<double> LeaveOneOutPixels;
    // Judged by the best fit whichever mapping draws: a typo is a fault of the points.
    bool Suspect = false;
};

struct ResidualReport
{
    MappingKind Kind = MappingKind::TwoNearest;
    std::vector<PointResidual> Points; // one per point, in list order
    // Root-mean-square error in pixels with the degrees of freedom taken off (n - 4 for the
    // similarity, n - 6 for the affine, as GDAL and QGIS do); empty below that, and for
    // TwoNearest the plain RMS of the leave-one-out residuals (from three points on).
    std::optional<double> RmsPixels;
    std::optional<double> RmsMetres;
    // The root mean square and the largest of the leave-one-out residuals, and the point
    // (index in the list) of the largest: the same measure for both mappings.
    std::optional<double> LeaveOneOutRms;
    std::optional<double> WorstLeaveOneOut;
    std::size_t WorstPoint = 0;
    // The best fit's model, as "quadratic, 9 points"; empty without a fit.
    std::string Model;
    // Why there is no mapping (as Mapping::Reason); empty when there is one.
    std::string Reason;
    std::size_t LeftOut = 0; // points whose lat or lon is not finite
};

ResidualReport ComputeResiduals(const MappingSetup &setup, std::span<const TCalibPoint> points);

// Great-circle distance in metres on a sphere of the WGS 84 mean radius: for a person to judge
// how far off a point is, not for surveying.
double GreatCircleMetres(Extended lat1, Extended lon1, Extended lat2, Extended lon2);

} // namespace carteva
