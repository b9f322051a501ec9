// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxOverlay.h"

#include <utility>

namespace carteva {

GpxOverlay::GpxOverlay(GpxDocument &&document)
    : waypoints_(std::exchange(document.Waypoints(), GpxLines()))
    , lines_(std::exchange(document.Lines(), GpxLines()))
    , plot_(document.SharedPlot())
    , linePlot_(document.SharedLinesPlot())
{
    const std::optional<GpxDocument::NameId> trk = document.FindName("trk"),
                                             rte = document.FindName("rte");
    // A file of waypoints names neither, and one whose lines were kept need not be looked at.
    for (std::size_t child = 0; (trk || rte) && lines_.PointCount() == 0 && !linesLeftOut_
         && child < document.ChildCount();
         ++child) {
        const GpxDocument::NameId name = document.ChildNameId(child);
        linesLeftOut_
            = document.ChildKind(child) == GpxNodeKind::Element && (name == trk || name == rte);
    }
}

WaypointCounts GpxOverlay::Draw(const MappingSetup &kind, std::span<const TCalibPoint> points,
                                PixelSurface &surface, bool lines, std::int64_t width,
                                std::int64_t height,
                                const std::function<void()> &onFirstUnmappable) const
{
    if (!plot_ || !plot_->MadeWith(kind, points))
        plot_ = WaypointPlot::Of(waypoints_, kind, points);
    const WaypointCounts counts = plot_->Paint(surface, onFirstUnmappable);
    if (!lines || lines_.PointCount() == 0)
        return counts;
    if (!linePlot_ || !linePlot_->MadeWith(kind, points))
        linePlot_ = LinePlot::Of(lines_, kind, points);
    linePlot_->Paint(surface, width, height, onFirstUnmappable);
    return counts;
}

std::size_t GpxOverlay::PointsToMap(const MappingSetup &kind, std::span<const TCalibPoint> points,
                                    bool lines) const
{
    std::size_t count = 0;
    if (!plot_ || !plot_->MadeWith(kind, points))
        count += waypoints_.PointCount();
    if (lines && (!linePlot_ || !linePlot_->MadeWith(kind, points)))
        count += lines_.PointCount();
    return count;
}

} // namespace carteva
