// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Extended.h"
#include "calibration/MapProjection.h"
#include "calibration/Mapping.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace carteva {

// A calibration point as the export formats write it.
struct ExportPoint
{
    std::size_t Record = 0; // 1 for the file's first record
    std::int32_t X = 0;
    std::int32_t Y = 0;
    double Lat = 0; // what the map tools read
    double Lon = 0;
    Extended ExactLat = 0; // what the window shows
    Extended ExactLon = 0;
};

// Everything an export needs to know about a calibrated bitmap.
struct CalibratedMap
{
    std::string Image; // the bitmap as the output names it: relative to the output's folder
    bool ImageIsRelative = true;
    std::string Title; // the bitmap's file name without its extension
    int Width = 0;
    int Height = 0;
    bool GdalReadsImage = false; // a BMP; GDAL reads no icons or metafiles
    std::vector<std::uint32_t> Palette; // 0xAARRGGBB of a palette bitmap; empty for colour pixels
    std::vector<ExportPoint> Points; // the usable ones, in file order
    // The map's own projection, from the file beside the calibration; none: degrees.
    std::shared_ptr<const MapProjection> Projection;

    MappingSetup SetupFor(MappingKind kind) const { return MappingSetup(kind, Projection); }
    // The system the map tools' files carry the points in: the map's projection; else degrees,
    // counted from 0 to 360 where the points straddle the 180° meridian (so that GDAL's
    // polynomial sees no jump); null for plain WGS 84 degrees.
    std::shared_ptr<const MapProjection> FileSystem() const;
    // A point in that system: longitude and latitude, or easting and northing. Throws Error for a
    // point the projection cannot take.
    PlanePoint Coordinates(const ExportPoint &point, const MapProjection *system) const;
    // The system as WKT, and whether GDAL reads its first axis as northing (or latitude).
    static std::string SystemWkt(const MapProjection *system);
    static bool NorthingFirst(const MapProjection *system);
};

// The map's points as the mappings take them, with the exact coordinates the window uses.
inline std::vector<TCalibPoint> CalibPointsOf(const CalibratedMap &map)
{
    std::vector<TCalibPoint> points;
    points.reserve(map.Points.size());
    for (const ExportPoint &point : map.Points)
        points.push_back(TCalibPoint {point.X, point.Y, point.ExactLat, point.ExactLon});
    return points;
}

} // namespace carteva
