// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Extended.h"

#include <optional>
#include <span>

namespace carteva {

// The narrowest band of longitudes that holds a set of positions, taken around the circle: six
// points at 179.86 … -179.83 span 0.31°, across the 180° meridian, not 359.69° across Greenwich.
struct LongitudeSpan
{
    Extended West = 0; // -180 <= West < 180
    Extended East = 0; // West <= East < West + 360: beyond 180 where the band crosses it
    Extended South = 90, North = -90;
    Extended SumLat = 0;
    std::size_t Count = 0;

    Extended MeanLon = 0; // within the band, brought into -180 … 180
    Extended Centre() const;
    Extended MeanLat() const { return SumLat / Extended(Count); }
    bool CrossesAntimeridian() const { return East > 180; }

    // Points whose position is not finite or whose longitude lies beyond ±180 are passed over;
    // empty when none is left.
    static std::optional<LongitudeSpan> Of(std::span<const TCalibPoint> points);
};

} // namespace carteva
