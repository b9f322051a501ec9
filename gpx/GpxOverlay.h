// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"
#include "calibration/PixelSurface.h"
#include "gpx/GpxDocument.h"
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
// plots last made from them; never the document.
class GpxOverlay
{
public:
    // The waypoints of a loaded document, its track segments and routes (when it kept them),
    // and the plots the loader made; the texts are moved out of the document.
    explicit GpxOverlay(GpxDocument &&document);

    // Paints as DrawWaypoints, then with `lines` as DrawLines, paints the document; the
    // waypoints' counts. A plot is made again only when the kind or the points changed.
    WaypointCounts Draw(const MappingSetup &kind, std::span<const TCalibPoint> points,
                        PixelSurface &surface, bool lines, std::int64_t width, std::int64_t height,
                        const std::function<void()> &onFirstUnmappable = {}) const;
    // The waypoints and line points a Draw would map afresh.
    std::size_t PointsToMap(const MappingSetup &kind, std::span<const TCalibPoint> points,
                            bool lines) const;
    // The document had a track or a route directly under its root ("trk" or "rte", named
    // exactly so), but no line points were kept: its lines were not asked for.
    bool LinesLeftOut() const { return linesLeftOut_; }
    std::size_t LinePointCount() const { return lines_.PointCount(); }

private:
    GpxLines waypoints_; // one point each, in document order
    GpxLines lines_;
    bool linesLeftOut_ = false;
    mutable std::shared_ptr<const WaypointPlot> plot_;
    mutable std::shared_ptr<const LinePlot> linePlot_;
};

} // namespace carteva
