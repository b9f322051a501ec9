// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/WaypointOverlay.h"

#include "gpx/LinePlot.h"
#include "gpx/WaypointNames.h"

namespace carteva {

WaypointCounts DrawWaypoints(const GpxDocument &document, const MappingSetup &kind,
                             std::span<const TCalibPoint> points, PixelSurface &surface,
                             const std::function<void()> &onFirstUnmappable)
{
    if (const WaypointPlot *plot = document.Plot(); plot != nullptr && plot->MadeWith(kind, points))
        return plot->Paint(surface, onFirstUnmappable);

    WaypointPlot plot(kind, points);
    WaypointNames names;
    const std::size_t childCount = document.ChildCount();
    for (std::size_t child = 0; child < childCount && !plot.Ended(); ++child) {
        if (const std::optional<WaypointText> waypoint = names.Find(document, child))
            plot.Add(*waypoint);
    }
    return plot.Paint(surface, onFirstUnmappable);
}

std::size_t DrawLines(const GpxDocument &document, const MappingSetup &kind,
                      std::span<const TCalibPoint> points, PixelSurface &surface,
                      std::int64_t width, std::int64_t height,
                      const std::function<void()> &onFirstUnmappable)
{
    if (const LinePlot *plot = document.LinesPlot(); plot != nullptr && plot->MadeWith(kind, points))
        return plot->Paint(surface, width, height, onFirstUnmappable);

    return LinePlot::Of(document.Lines(), kind, points)
        ->Paint(surface, width, height, onFirstUnmappable);
}

WaypointCounts DrawWaypoints(const GpxDocument &document, std::span<const TCalibPoint> points,
                             PixelSurface &surface, const std::function<void()> &onFirstUnmappable)
{
    return DrawWaypoints(document, MappingKind::TwoNearest, points, surface, onFirstUnmappable);
}

std::size_t DrawLines(const GpxDocument &document, std::span<const TCalibPoint> points,
                      PixelSurface &surface, std::int64_t width, std::int64_t height,
                      const std::function<void()> &onFirstUnmappable)
{
    return DrawLines(document, MappingKind::TwoNearest, points, surface, width, height,
                     onFirstUnmappable);
}

} // namespace carteva
