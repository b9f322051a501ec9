// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/WaypointOverlay.h"

#include "gpx/WaypointNames.h"

namespace carteva {

WaypointCounts DrawWaypoints(const GpxDocument &document, std::span<const TCalibPoint> points,
                             PixelSurface &surface, const std::function<void()> &onFirstUnmappable,
                             MappingKind kind)
{
    if (const WaypointPlot *plot = document.Plot();
        plot != nullptr && plot->MadeWith(points, kind))
        return plot->Paint(surface, onFirstUnmappable);

    WaypointPlot plot(points, kind);
    WaypointNames names;
    const std::size_t childCount = document.ChildCount();
    for (std::size_t child = 0; child < childCount && !plot.Ended(); ++child) {
        if (const std::optional<WaypointText> waypoint = names.Find(document, child))
            plot.Add(*waypoint);
    }
    return plot.Paint(surface, onFirstUnmappable);
}

} // namespace carteva
