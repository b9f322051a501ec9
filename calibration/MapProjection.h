// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Extended.h"

#include <optional>
#include <span>
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

// Where PROJ's database says a system may be used: a name and a box in degrees (east may be less
// than west where the box crosses 180°).
struct AreaOfUse
{
    std::string Name;
    double West = -180, South = -90, East = 180, North = 90;
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
    // Positions taken as on the system's own datum, as if they were WGS 84: only the projection's
    // conversion, which PROJ prepares ten times faster than a way from WGS 84 (measured: 0.45 ms
    // against 7.7 ms a system). For weighing many candidates: over a sheet, a datum shift is
    // nearly a shift and a turn, which the fit's affine part takes up.
    enum class OwnDatum { Yes };
    MapProjection(const std::string &definition, OwnDatum);
    // The same on a PROJ context the caller owns, which must outlive the object: PROJ keeps what
    // it looked up in its database per context, so many systems made on one cost a fifth of the
    // time (measured: 1.6 ms a candidate against 7.8 ms). Only on that context's thread.
    MapProjection(const std::string &definition, pj_ctx *shared);
    MapProjection(const std::string &definition, OwnDatum, pj_ctx *shared);
    MapProjection(const MapProjection &other);
    MapProjection &operator=(const MapProjection &other);
    MapProjection(MapProjection &&other) noexcept;
    MapProjection &operator=(MapProjection &&other) noexcept;
    ~MapProjection();

    const std::string &Definition() const { return definition_; }
    // The system's name as PROJ gives it ("WGS 84 / UTM zone 33N").
    const std::string &Name() const { return name_; }
    // The system as WKT (GDAL's own dialect where it can express it), for files other tools read;
    // the definition itself under OwnDatum.
    const std::string &Wkt() const { return wkt_; }
    // Whether the system, read back from Wkt() as GDAL reads it, names northing (or latitude)
    // first: a "2,1" axis mapping in GDAL's files, whose X is always easting or longitude. Judged
    // by the axes' names as well as their directions: on a south polar system both axes point
    // north, the easting along 90° E.
    bool NorthingFirst() const { return northingFirst_; }
    // Degrees on some datum rather than a projection.
    bool IsGeographic() const { return geographic_; }
    // "EPSG:2056" where the system carries an authority's code; empty otherwise.
    const std::string &Code() const { return code_; }
    // The system on one line, for headers: "CH1903+ / LV95 (EPSG:2056)", else its name and the
    // definition as a PROJ string (a WKT or PROJJSON text may run over many lines).
    std::string OneLine() const;
    const std::optional<AreaOfUse> &Area() const { return area_; }
    // The geographic system the projection works from ("EPSG:4277"), or its WKT where it has no
    // code; the system itself for a geographic one.
    const std::string &BaseSystem() const { return base_; }

    // Empty where PROJ cannot project the position (outside the projection's domain) or the
    // position is not finite. Never throws.
    std::optional<PlanePoint> Forward(Extended lat, Extended lon) const noexcept;
    std::optional<std::pair<double, double>> Inverse(double e, double n) const noexcept;

    // The UTM zone (WGS 84) whose band holds `lon`, north or south by `lat`: "EPSG:32633".
    static std::string UtmFor(Extended lat, Extended lon);
    // The zone of the points' mean longitude, taken around the circle, and the hemisphere of their
    // mean latitude; empty without a point with a finite position.
    static std::string UtmFor(std::span<const TCalibPoint> points);
    static constexpr const char *WebMercator = "EPSG:3857";
    // WGS 84 degrees with longitudes counted from 0 to 360, so that a band of them across the
    // 180° meridian runs on without a jump: for files of points that straddle it.
    static constexpr const char *DegreesAcross180
        = "+proj=longlat +datum=WGS84 +lon_wrap=180 +no_defs +type=crs";

private:
    MapProjection(const std::string &definition, bool ownDatum, pj_ctx *shared);
    void DescribeForFiles(const PJconsts *system);
    void Release() noexcept;

    std::string definition_;
    std::string name_;
    std::string wkt_;
    std::string code_;
    std::string projString_;
    std::string base_;
    std::optional<AreaOfUse> area_;
    bool northingFirst_ = false;
    bool geographic_ = false;
    pj_ctx *context_ = nullptr;
    bool ownsContext_ = true;
    PJconsts *toPlane_ = nullptr; // longitude, latitude in degrees -> easting, northing
};

} // namespace carteva
