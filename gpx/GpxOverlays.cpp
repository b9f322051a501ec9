// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxOverlays.h"

#include "gpx/WaypointNames.h"

namespace carteva {

std::size_t GpxOverlays::Add(const GpxDocument &document)
{
    Overlay overlay;
    WaypointNames names;
    for (std::size_t child = 0; child < document.ChildCount(); ++child) {
        if (const std::optional<WaypointText> waypoint = names.Find(document, child))
            overlay.waypoints.AddPoint(waypoint->Lat, waypoint->Lon);
    }
    overlay.lines.Append(document.Lines());
    overlay.plot = document.SharedPlot();
    overlay.linePlot = document.SharedLinesPlot();
    overlays_.push_back(std::move(overlay));
    return overlays_.size() - 1;
}

std::size_t GpxOverlays::PointsToMap(MappingKind kind, std::span<const TCalibPoint> points,
                                      bool lines) const
{
    std::size_t count = 0;
    for (const Overlay &overlay : overlays_) {
        if (!overlay.plot || !overlay.plot->MadeWith(kind, points))
            count += overlay.waypoints.PointCount();
        if (lines && (!overlay.linePlot || !overlay.linePlot->MadeWith(kind, points)))
            count += overlay.lines.PointCount();
    }
    return count;
}

bool GpxOverlays::LinesLeftOut(const GpxDocument &document)
{
    if (document.Lines().PointCount() > 0)
        return false;
    const std::optional<GpxDocument::NameId> trk = document.FindName("trk"),
                                             rte = document.FindName("rte");
    for (std::size_t child = 0; (trk || rte) && child < document.ChildCount(); ++child) {
        const GpxDocument::NameId name = document.ChildNameId(child);
        if (document.ChildKind(child) == GpxNodeKind::Element && (name == trk || name == rte))
            return true;
    }
    return false;
}

void GpxOverlays::Draw(std::size_t index, MappingKind kind, std::span<const TCalibPoint> points,
                       PixelSurface &surface, bool lines, std::int64_t width,
                       std::int64_t height, const std::function<void()> &onFirstUnmappable) const
{
    const Overlay &overlay = overlays_.at(index);
    if (!overlay.plot || !overlay.plot->MadeWith(kind, points))
        overlay.plot = WaypointPlot::Of(overlay.waypoints, kind, points);
    overlay.plot->Paint(surface, onFirstUnmappable);
    if (!lines || overlay.lines.PointCount() == 0)
        return;
    if (!overlay.linePlot || !overlay.linePlot->MadeWith(kind, points))
        overlay.linePlot = LinePlot::Of(overlay.lines, kind, points);
    overlay.linePlot->Paint(surface, width, height, onFirstUnmappable);
}

} // namespace carteva
