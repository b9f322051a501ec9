// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxLines.h"

#include "gpx/ReserveHint.h"

namespace carteva {

void GpxLines::Reserve(std::size_t points, std::size_t valueBytes) noexcept
{
    ReserveHint([&] {
        points_.reserve(points);
        values_.Reserve(valueBytes);
    });
}

WaypointText GpxLines::Point(std::size_t point) const
{
    const Entry &entry = points_[point];
    const std::string_view values = values_.View();
    WaypointText text;
    if (entry.Flags & LatFlag)
        text.Lat = values.substr(entry.Begin, entry.LatLength);
    if (entry.Flags & LonFlag)
        text.Lon = values.substr(entry.Begin + entry.LatLength, entry.LonLength);
    return text;
}

} // namespace carteva
