// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Extended.h"

#include <optional>
#include <string>

struct pj_ctx;
struct PJconsts;

namespace carteva {

// A point in a map projection's plane: easting and northing (or, for a geographic system,
// longitude and latitude), in the system's own units.
struct PlanePoint
{
    double E;
    double N;
};

// The map's own projection, as PROJ knows it: WGS 84 positions (what GPX carries) to the plane
// the map was drawn in and back. Each object has a PROJ context of its own, so one may be used
// on each thread; copies are cheap (PROJ clones the prepared transformation).
class MapProjection
{
public:
    // Any definition PROJ accepts: "EPSG:32633", WKT, PROJJSON, a PROJ string ("+proj=utm
    // +zone=33", with or without +type=crs). Throws Error with PROJ's own reason when PROJ does
    // not know it or it names no coordinate system.
    explicit MapProjection(const std::string &definition);
    MapProjection(const MapProjection &other);
    MapProjection &operator=(const MapProjection &other);
    MapProjection(MapProjection &&other) noexcept;
    MapProjection &operator=(MapProjection &&other) noexcept;
    ~MapProjection();

    const std::string &Definition() const { return definition_; }
    // The system's name as PROJ gives it ("WGS 84 / UTM zone 33N").
    const std::string &Name() const { return name_; }
    // The system as WKT (GDAL's own dialect where it can express it), for files other tools read.
    const std::string &Wkt() const { return wkt_; }
    // Whether the system's first axis points north (a "2,1" axis mapping in GDAL's files).
    bool NorthingFirst() const { return northingFirst_; }

    // Empty where PROJ cannot project the position (outside the projection's domain) or the
    // position is not finite. Never throws.
    std::optional<PlanePoint> Forward(Extended lat, Extended lon) const noexcept;
    std::optional<std::pair<double, double>> Inverse(double e, double n) const noexcept;

    // The UTM zone (WGS 84) whose band holds `lon`, north or south by `lat`: "EPSG:32633".
    static std::string UtmFor(Extended lat, Extended lon);
    static constexpr const char *WebMercator = "EPSG:3857";

private:
    void Release() noexcept;

    std::string definition_;
    std::string name_;
    std::string wkt_;
    bool northingFirst_ = false;
    pj_ctx *context_ = nullptr;
    PJconsts *toPlane_ = nullptr; // longitude, latitude in degrees -> easting, northing
};

} // namespace carteva
