// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"
#include "calibration/PixelSurface.h"
#include "gpx/GpxLines.h"
#include "gpx/LinePlot.h"
#include "gpx/WaypointPlot.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace carteva {

// What a loaded GPX file leaves on the picture, kept so that it can be painted again after the
// calibration changed: the coordinate texts of its waypoints and of its lines' points, with the
// plots last made from them; nothing else of the file.
//
// The waypoints are the children of the root whose name is exactly "wpt" (an element without a
// prefix, or a processing instruction of that target), with their attributes named exactly "lat"
// and "lon". Each is painted orange at the pixel GeoToPixel gives, in document order; one without
// usable coordinates is skipped rather than painted at a stale or made-up position, and one that
// cannot be mapped is not painted at all: onFirstUnmappable runs at the first of those in a Draw.
// A floating-point error of the conversion or the mapping ends the drawing there and propagates;
// the pixels painted before it stay. The lines are painted after them (see LinePlot).
class GpxOverlay
{
public:
    // The waypoints' texts (one point each) and the lines' (see GpxLoader::CollectLines), and the
    // plots made while loading, if they were; `tracksOrRoutes`: the file had a "trk" or "rte"
    // element directly under its root.
    GpxOverlay(GpxLines waypoints, GpxLines lines, bool tracksOrRoutes,
               std::shared_ptr<const WaypointPlot> plot, std::shared_ptr<const LinePlot> linePlot);

    // Paints the waypoints, then with `lines` the lines clipped to the width × height picture;
    // the waypoints' counts. A plot is made again only when the kind or the points changed.
    WaypointCounts Draw(const MappingSetup &kind, std::span<const TCalibPoint> points,
                        PixelSurface &surface, bool lines, std::int64_t width, std::int64_t height,
                        const std::function<void()> &onFirstUnmappable = {}) const;
    // Where the mapped waypoints and line points (with `lines`) fall on a width × height picture.
    struct Sighting
    {
        std::size_t inside = 0;
        std::size_t waypointsOutside = 0;
        std::size_t linePointsOutside = 0;
    };
    Sighting Sight(const MappingSetup &kind, std::span<const TCalibPoint> points, bool lines,
                   std::int64_t width, std::int64_t height) const;
    // The waypoints and line points a Draw would map afresh.
    std::size_t PointsToMap(const MappingSetup &kind, std::span<const TCalibPoint> points,
                            bool lines) const;
    // The file had a track or a route directly under its root, but no line points were kept:
    // its lines were not asked for.
    bool LinesLeftOut() const { return linesLeftOut_; }
    std::size_t LinePointCount() const { return lines_.PointCount(); }
    // Bytes of the texts kept, for the benchmark's report.
    std::size_t MemoryUsed() const { return waypoints_.MemoryUsed() + lines_.MemoryUsed(); }

private:
    GpxLines waypoints_; // one point each, in document order
    GpxLines lines_;
    bool linesLeftOut_ = false;
    mutable std::shared_ptr<const WaypointPlot> plot_;
    mutable std::shared_ptr<const LinePlot> linePlot_;
};

} // namespace carteva
