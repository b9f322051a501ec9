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
#include <vector>

namespace carteva {

// Every GPX overlay of a run, in load order, so that the picture can be painted again after
// the calibration changed: of each file, only what is drawn is kept (the coordinate texts of
// its waypoints and of its lines' points), with the plot last made from them; never the
// document.
class GpxOverlays
{
public:
    // Keeps the waypoints of `document` and its track segments and routes (when it has them),
    // and the plots the loader made, for later drawing. Returns the overlay's index.
    std::size_t Add(const GpxDocument &document);
    void Clear() { overlays_.clear(); }
    std::size_t Count() const { return overlays_.size(); }
    // The waypoints and line points a drawing of them all would map afresh: those of the
    // overlays not last plotted with this kind and these points.
    std::size_t PointsToMap(MappingKind kind, std::span<const TCalibPoint> points,
                            bool lines) const;
    // True when the document has a track or a route directly under its root ("trk" or "rte",
    // named exactly so) but kept no line points: its lines were not asked for.
    static bool LinesLeftOut(const GpxDocument &document);

    // Paints overlay `index` as DrawWaypoints, then with `lines` as DrawLines, paints a
    // document. The plot is made again only when the kind or the points changed.
    void Draw(std::size_t index, MappingKind kind, std::span<const TCalibPoint> points,
              PixelSurface &surface, bool lines, std::int64_t width, std::int64_t height,
              const std::function<void()> &onFirstUnmappable = {}) const;

private:
    struct Overlay
    {
        GpxLines waypoints; // one point each, in document order
        GpxLines lines;
        mutable std::shared_ptr<const WaypointPlot> plot;
        mutable std::shared_ptr<const LinePlot> linePlot;
    };

    std::vector<Overlay> overlays_;
};

} // namespace carteva
