// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"

#include <cstddef>
#include <span>
#include <vector>

namespace carteva {

// A pair of points the two nearest points may be asked to divide by although they cannot: more
// than 30 pixels apart on both axes, yet on the same parallel or the same meridian. A waypoint
// whose reference pair they are fails with "Floating point division by zero" (or an invalid
// operation on that very parallel or meridian).
struct NearestPairFault
{
    std::size_t First; // indices in the list, First < Second
    std::size_t Second;
    bool SameLatitude; // else the same longitude
};

// The first `limit` such pairs in list order; none are looked for beyond MaxPoints points, where
// the pairs become too many to walk on every change.
std::vector<NearestPairFault> FindNearestPairFaults(std::span<const TCalibPoint> points,
                                                    std::size_t limit = 3);

constexpr std::size_t NearestPairFaultsMaxPoints = 2000;

} // namespace carteva
