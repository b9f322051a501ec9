// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"
#include "ui/PixelBatch.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace carteva {

class GpxOverlay;

struct WaypointCounts
{
    std::size_t Painted = 0;
    std::size_t Outside = 0; // mapped, but the pixel lies outside the picture
    std::size_t NotMappable = 0; // no usable pair of calibration points
    std::size_t Skipped = 0; // lat or lon missing or not a complete number
};

// Where a file's mapped waypoints and line points fell: on the picture (its pixels) or outside.
struct OverlaySighting
{
    std::size_t inside = 0;
    std::size_t waypointsOutside = 0;
    std::size_t linePointsOutside = 0;
};

// A GPX file's positions turned into pixels with one mapping, in document order, as drawing them
// one by one always has: first each waypoint's pixel, then, with `lines`, each track segment and
// route one pixel wide through its points (a line of one point is that pixel), clipped to the
// width × height picture. A point that cannot be mapped breaks its line there;
// onFirstUnmappable runs where the first point that could not be mapped stood, after the pixels
// before it were handed on. A floating-point error of a conversion or the mapping ends the plot
// where it arose and is thrown, after the pixels before it.
class OverlayPlot
{
public:
    // Above this many waypoints, a second thread maps half of them.
    static constexpr std::size_t ParallelAbove = 50000;

    // With the mapping of kind `kind` made for `points`. `take` gets every mapped waypoint's
    // pixel, inside the picture or not, and every line pixel inside it, in order, some at a time.
    static WaypointCounts Plot(const GpxOverlay &overlay, const MappingSetup &kind,
                               std::span<const TCalibPoint> points, bool lines,
                               std::int64_t width, std::int64_t height,
                               const PixelBatch::Take &take,
                               const std::function<void()> &onFirstUnmappable = {});
};

} // namespace carteva
