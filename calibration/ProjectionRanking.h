// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace carteva {

// A projection the map may have been drawn in, judged by how well the best fit in it predicts
// each point from the others.
struct RankedProjection
{
    std::string Definition; // "EPSG:2056", a PROJ string; empty for degrees
    std::string Name; // "CH1903+ / LV95"; "Degrees (none)"
    std::string Area; // where the system is meant for; empty for degrees and world-wide ones
    double HeldOutRms = 0; // px: the root mean square of the leave-one-out residuals
    double HeldOutWorst = 0; // px: the largest of them
    std::size_t WorstPoint = 0; // its index in the points given
    std::string Model; // the fit's model: "affine, 9 points"
    // Other systems that place the sheet the same (within SamePixels): not listed apart.
    std::size_t Others = 0;
};

// Ranks candidate projections for a set of points: every projected system in PROJ's database whose
// area of use (widened by AreaMarginDegrees: a sheet's corners often reach past it) holds the
// points, UTM of the points' zone in both hemispheres, Web Mercator and degrees. Best first.
class ProjectionRanking
{
public:
    static constexpr std::size_t MinimumPoints = 4;
    static constexpr double AreaMarginDegrees = 2;
    static constexpr double SamePixels = 0.05;

    // Called after each candidate with the count done and the count in all; returning false
    // cancels the ranking.
    using Progress = std::function<bool(std::size_t done, std::size_t total)>;

    // Empty when cancelled; an empty list below MinimumPoints points with a finite position. With
    // `families`, projections of the common families fitted to the points (FamilyFit) are added
    // where they beat every listed system clearly: less than half its held-out error, and by more
    // than 0.05 px.
    static std::optional<std::vector<RankedProjection>> Rank(std::span<const TCalibPoint> points,
                                                             const Progress &progress = {},
                                                             bool families = true);
};

} // namespace carteva
