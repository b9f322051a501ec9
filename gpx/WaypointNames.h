// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/GpxDocument.h"
#include "gpx/WaypointPlot.h"

#include <cstddef>
#include <optional>

namespace carteva {

// Tells the waypoints among a document's children: a child whose node name is exactly "wpt",
// whatever its kind, with its attributes named exactly "lat" and "lon". The names are compared
// as ids, each looked up until it occurs in the document, so the document may still be growing.
// One object per document.
class WaypointNames
{
public:
    // The coordinate texts of child `child`, or nothing when it is not a waypoint. The texts
    // point into the document.
    std::optional<WaypointText> Find(const GpxDocument &document, std::size_t child);

private:
    bool IsWaypoint(const GpxDocument &document, GpxDocument::NameId name)
    {
        return Known(wpt_, document, "wpt") && name == *wpt_;
    }
    static bool Known(std::optional<GpxDocument::NameId> &id, const GpxDocument &document,
                      std::string_view name)
    {
        return id.has_value() || LookUp(id, document, name);
    }
    static bool LookUp(std::optional<GpxDocument::NameId> &id, const GpxDocument &document,
                       std::string_view name);

    std::optional<GpxDocument::NameId> wpt_, lat_, lon_;
};

} // namespace carteva
