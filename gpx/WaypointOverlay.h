#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/PixelSurface.h"
#include "gpx/GpxDocument.h"

#include <cstddef>
#include <functional>
#include <span>

namespace carteva {

struct WaypointCounts
{
    std::size_t Painted = 0;
    std::size_t Outside = 0; // mapped, but the pixel lies outside the picture
    std::size_t NotMappable = 0; // no usable pair of calibration points
    std::size_t Skipped = 0; // lat or lon missing or not a complete number
};

// Paints every waypoint that stands directly under the root (a child whose node name is exactly
// "wpt") orange at the pixel GeoToPixel gives for its "lat" and "lon" attributes, in document
// order. A waypoint without usable coordinates is skipped rather than painted at a stale or
// made-up position, and one that cannot be mapped is not painted at all; onFirstUnmappable is
// called at the first of those in this call. A floating-point error of the conversion or the
// mapping ends the drawing there and propagates; the pixels painted before it stay.
WaypointCounts DrawWaypoints(const GpxDocument &document, std::span<const TCalibPoint> points,
                             PixelSurface &surface,
                             const std::function<void()> &onFirstUnmappable = {});

} // namespace carteva
