// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/ProjectionRanking.h"

#include <functional>
#include <optional>
#include <span>
#include <vector>

struct pj_ctx;

namespace carteva {

// For historical and custom sheets that no listed system fits: the shape parameters of the common
// projection families fitted by least squares together with the picture's affine transform, on the
// WGS 84 ellipsoid. PROJ computes every projection; only its parameters are searched (Nelder and
// Mead's simplex). Parameters the affine part takes up are not searched: a conic's scale and
// central meridian (which only turns it), a transverse Mercator's scale. Families: transverse
// Mercator (central meridian), Lambert conformal conic (the cone's parallel), Albers (two standard
// parallels), stereographic, azimuthal equidistant and Lambert azimuthal equal-area (the centre).
class FamilyFit
{
public:
    // Beyond a family's shape parameters and the four a sheet's placing needs (a similarity):
    // fewer spare points would let one point's error pass for the projection's shape.
    static constexpr std::size_t SparePoints = 3;

    // Each family the points leave enough spare for, judged as the ranking judges (leave-one-out
    // of the best fit in it), with its PROJ definition; empty when `keepGoing` said stop.
    static std::optional<std::vector<RankedProjection>> Fit(std::span<const TCalibPoint> points,
                                                            pj_ctx *context,
                                                            const std::function<bool()> &keepGoing);
};

} // namespace carteva
