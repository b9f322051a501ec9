// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/WaypointPlot.h"

#include "calibration/Errors.h"
#include "calibration/NumberText.h"
#include "gpx/GpxLines.h"
#include "gpx/ReserveHint.h"

#include <algorithm>

namespace carteva {

WaypointPlot::WaypointPlot(const MappingSetup &kind, std::span<const TCalibPoint> points)
    : points_(points.begin(), points.end())
    , mapping_(kind, points)
{ }

MappedText MapText(const Mapping &mapping, const WaypointText &point)
{
    const std::optional<std::string_view> &lat = point.Lat, &lon = point.Lon;
    // The number grammar is ASCII: the UTF-8 text is read as it stands.
    if (!lat || !lon || !IsDecimalNumber(*lat) || !IsDecimalNumber(*lon))
        return {false, std::nullopt};
    const Extended latitude = ParseDecimal(*lat);
    const Extended longitude = ParseDecimal(*lon);
    return {true, mapping.GeoToPixel(latitude, longitude)};
}

std::shared_ptr<const WaypointPlot> WaypointPlot::Of(const GpxLines &waypoints, const MappingSetup &kind,
                                                     std::span<const TCalibPoint> points)
{
    auto plot = std::make_shared<WaypointPlot>(kind, points);
    plot->Add(waypoints);
    return plot;
}

void WaypointPlot::Add(const GpxLines &waypoints)
{
    for (std::size_t i = 0; i < waypoints.PointCount() && !Ended(); ++i)
        Add(waypoints.Point(i));
}

bool WaypointPlot::Add(const WaypointText &waypoint)
{
    if (error_)
        return false;
    try {
        const MappedText mapped = MapText(mapping_, waypoint);
        if (!mapped.Complete) {
            ++skipped_;
            return false;
        }
        if (!mapped.At) {
            if (notMappable_++ == 0)
                firstUnmappableAt_ = pixels_.size();
            return false;
        }
        pixels_.push_back(*mapped.At);
        return true;
    } catch (const Error &) {
        error_ = std::current_exception();
        return false;
    }
}

void WaypointPlot::Reserve(std::size_t waypoints) noexcept
{
    ReserveHint([&] { pixels_.reserve(waypoints); });
}

bool WaypointPlot::MadeWith(const MappingSetup &kind, std::span<const TCalibPoint> points) const
{
    return kind == mapping_.Setup() && SameRecords(points_, points);
}

WaypointCounts WaypointPlot::Paint(PixelSurface &surface,
                                   const std::function<void()> &onFirstUnmappable) const
{
    WaypointCounts counts;
    const auto warn = [&] {
        if (onFirstUnmappable)
            onFirstUnmappable();
    };
    const std::size_t warnAt = WarnAt();
    for (std::size_t i = 0; i < pixels_.size(); ++i) {
        if (i == warnAt)
            warn();
        if (surface.SetPixel(pixels_[i].X, pixels_[i].Y, ColourOrange))
            ++counts.Painted;
        else
            ++counts.Outside;
    }
    if (warnAt == pixels_.size())
        warn();
    RethrowError();
    counts.NotMappable = notMappable_;
    counts.Skipped = skipped_;
    return counts;
}

} // namespace carteva
