// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxOverlay.h"

#include <utility>

namespace carteva {

GpxOverlay::GpxOverlay(GpxLines waypoints, GpxLines lines, bool tracksOrRoutes,
                       std::shared_ptr<const WaypointPlot> plot,
                       std::shared_ptr<const LinePlot> linePlot)
    : waypoints_(std::move(waypoints))
    , lines_(std::move(lines))
    , linesLeftOut_(tracksOrRoutes && lines_.PointCount() == 0)
    , plot_(std::move(plot))
    , linePlot_(std::move(linePlot))
{ }

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

GpxOverlay::Sighting GpxOverlay::Sight(const MappingSetup &kind,
                                       std::span<const TCalibPoint> points, bool lines,
                                       std::int64_t width, std::int64_t height) const
{
    const auto inside = [&](const Pixel &pixel) {
        return pixel.X >= 0 && pixel.Y >= 0 && pixel.X < width && pixel.Y < height;
    };
    Sighting sighting;
    if (!plot_ || !plot_->MadeWith(kind, points))
        plot_ = WaypointPlot::Of(waypoints_, kind, points);
    for (const Pixel &pixel : plot_->Pixels())
        ++(inside(pixel) ? sighting.inside : sighting.waypointsOutside);
    if (!lines || lines_.PointCount() == 0)
        return sighting;
    if (!linePlot_ || !linePlot_->MadeWith(kind, points))
        linePlot_ = LinePlot::Of(lines_, kind, points);
    for (const Pixel &pixel : linePlot_->Pixels())
        ++(inside(pixel) ? sighting.inside : sighting.linePointsOutside);
    return sighting;
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
