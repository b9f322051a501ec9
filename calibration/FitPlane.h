// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Extended.h"
#include "calibration/Mapping.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace carteva {

class MapProjection;
class ProjectionGrid;

// The plane the best fit works in, centred on the points: the map's projection where one is
// named (easting and northing from the points' mean), else degrees with longitude times the
// cosine of the mean latitude, so that a degree east and a degree north weigh alike where the map
// lies (longitudes taken across the 180° meridian where the points straddle it).
class FitPlane
{
public:
    // `projection`, when given, must outlive the plane; used on the caller's thread only.
    FitPlane(std::span<const TCalibPoint> points, const MapProjection *projection);
    ~FitPlane();
    FitPlane(FitPlane &&) noexcept;
    FitPlane &operator=(FitPlane &&) noexcept;

    // Why the points cannot be placed in the plane; empty when they can.
    const std::string &Reason() const { return reason_; }

    // The position's offset from the centre; empty for a position that is not finite or that the
    // projection cannot take.
    std::optional<std::pair<Extended, Extended>> Offset(Extended lat, Extended lon) const;
    // The same for many positions: a projection approximated near the points (ProjectionGrid)
    // within `tolerance` plane units; `exact` tells whether PROJ computed it.
    std::optional<std::pair<Extended, Extended>> QuickOffset(Extended lat, Extended lon,
                                                             Extended tolerance, bool &exact) const;
    std::optional<GeoPosition> Position(Extended u, Extended v) const;

    // Whether two positions are one (in degrees, wherever the plane puts them).
    bool SamePosition(const TCalibPoint &a, const TCalibPoint &b) const;

private:
    Extended LonOffset(Extended lon) const;

    const MapProjection *projection_ = nullptr;
    std::string reason_;
    Extended latC_ = 0, lonC_ = 0, cosLat_ = 1, eC_ = 0, nC_ = 0;
    // The points' extent in degrees, for the grid made on the first quick offset.
    double south_ = 0, west_ = 0, spanLat_ = 0, spanLon_ = 0;
    mutable std::unique_ptr<ProjectionGrid> grid_;
};

} // namespace carteva
