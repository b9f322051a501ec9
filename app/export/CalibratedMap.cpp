// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/CalibratedMap.h"

#include "app/export/Wgs84.h"
#include "calibration/Errors.h"
#include "calibration/LongitudeSpan.h"

namespace carteva {

std::shared_ptr<const MapProjection> CalibratedMap::FileSystem() const
{
    if (Projection)
        return Projection;
    const std::optional<LongitudeSpan> span = LongitudeSpan::Of(CalibPointsOf(*this));
    if (span && span->CrossesAntimeridian())
        return std::make_shared<const MapProjection>(MapProjection::DegreesAcross180);
    return nullptr;
}

PlanePoint CalibratedMap::Coordinates(const ExportPoint &point, const MapProjection *system) const
{
    if (!system)
        return {point.Lon, point.Lat};
    // The exact coordinates, as the fit projects them.
    const std::optional<PlanePoint> plane = system->Forward(point.ExactLat, point.ExactLon);
    if (!plane)
        throw Error("record " + std::to_string(point.Record) + " lies outside the area of "
                    + system->Name());
    return *plane;
}

std::string CalibratedMap::SystemWkt(const MapProjection *system)
{
    return system ? system->Wkt() : std::string(Wgs84Wkt);
}

bool CalibratedMap::NorthingFirst(const MapProjection *system)
{
    // WGS 84 puts latitude first.
    return system ? system->NorthingFirst() : true;
}

} // namespace carteva
