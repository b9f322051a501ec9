// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/CalibratedMap.h"

#include "app/export/Wgs84.h"
#include "calibration/Errors.h"

namespace carteva {

PlanePoint CalibratedMap::Coordinates(const ExportPoint &point) const
{
    if (!Projection)
        return {point.Lon, point.Lat};
    // The exact coordinates, as the fit projects them.
    const std::optional<PlanePoint> plane = Projection->Forward(point.ExactLat, point.ExactLon);
    if (!plane)
        throw Error("record " + std::to_string(point.Record) + " lies outside the area of "
                    + Projection->Name());
    return *plane;
}

std::string CalibratedMap::SystemWkt() const
{
    return Projection ? Projection->Wkt() : std::string(Wgs84Wkt);
}

bool CalibratedMap::NorthingFirst() const
{
    // WGS 84 puts latitude first.
    return Projection ? Projection->NorthingFirst() : true;
}

} // namespace carteva
