// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/WaypointNames.h"

namespace carteva {

std::optional<WaypointText> WaypointNames::Find(const GpxDocument &document, std::size_t child)
{
    if (!IsWaypoint(document, document.ChildNameId(child)))
        return std::nullopt;
    WaypointText waypoint;
    if (Known(lat_, document, "lat"))
        waypoint.Lat = document.ChildAttribute(child, *lat_);
    if (Known(lon_, document, "lon"))
        waypoint.Lon = document.ChildAttribute(child, *lon_);
    return waypoint;
}

bool WaypointNames::LookUp(std::optional<GpxDocument::NameId> &id, const GpxDocument &document,
                           std::string_view name)
{
    id = document.FindName(name);
    return id.has_value();
}

} // namespace carteva
