// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxLines.h"

#include "gpx/GpxDocument.h"
#include "gpx/ReserveHint.h"


namespace carteva {

void GpxLines::Reserve(std::size_t points, std::size_t valueBytes) noexcept
{
    ReserveHint([&] {
        points_.reserve(points);
        values_.Reserve(valueBytes);
    });
}

void GpxLines::StartLine()
{
    lineStarted_ = true;
}

void GpxLines::AddPoint(std::optional<std::string_view> lat, std::optional<std::string_view> lon)
{
    const std::size_t latLength = lat ? lat->size() : 0, lonLength = lon ? lon->size() : 0;
    // Offsets are 32-bit, as in the document.
    if (latLength + lonLength > UINT32_MAX - values_.size() || points_.size() >= UINT32_MAX)
        GpxDocument::TooLarge();
    const std::uint8_t flags = (lineStarted_ ? StartFlag : 0) | (lat ? LatFlag : 0)
        | (lon ? LonFlag : 0);
    points_.push_back({static_cast<std::uint32_t>(values_.size()),
                       static_cast<std::uint32_t>(latLength), static_cast<std::uint32_t>(lonLength),
                       flags});
    if (lat)
        values_.Append(*lat);
    if (lon)
        values_.Append(*lon);
    lineStarted_ = false;
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
