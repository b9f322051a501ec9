// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/MapProjection.h"

#include "calibration/Errors.h"
#include "calibration/LongitudeSpan.h"
#include "calibration/Trimmed.h"

#include <proj.h>

#include <cctype>
#include <cmath>
#include <string_view>
#include <utility>

namespace carteva {

namespace {

// PROJ tells why it refused a definition through its log, not through the error code (which
// says "Unknown error" for an unknown EPSG code): the last message is kept. Called from C, so
// nothing may be thrown from here.
void KeepLastMessage(void *kept, int, const char *message) noexcept
{
    if (!kept)
        return; // after construction: quiet, rather than PROJ's default of standard error
    try {
        *static_cast<std::string *>(kept) = message ? message : "";
    } catch (...) {
    }
}

// "proj_create: crs not found" -> "crs not found"; "proj_create: Error 1027 (Invalid value for
// an argument): Unknown projection" -> "Unknown projection".
std::string ReasonOf(std::string message)
{
    constexpr std::string_view prefix = "proj_create: ";
    if (message.rfind(prefix, 0) == 0)
        message.erase(0, prefix.size());
    if (const std::size_t code = message.find("): "); message.rfind("Error ", 0) == 0
        && code != std::string::npos)
        message.erase(0, code + 3);
    return message.empty() ? "PROJ does not know it" : message;
}

struct Owned
{
    PJ_CONTEXT *Context;
    PJ *Object;
    ~Owned()
    {
        if (Object)
            proj_destroy(Object);
    }
};

bool StartsWithWord(const char *text, std::string_view word)
{
    if (!text)
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i])
            return false; // also at the text's end
    }
    return true;
}

// GDAL's rule for its traditional order (easting or longitude in X): the first axis is the
// northing when it points north or south and the second east or west, or when both point the
// same way (as on polar systems) and their names say northing, then easting.
bool NamesNorthingFirst(PJ_CONTEXT *context, const PJ *system)
{
    Owned axes {context, proj_crs_get_coordinate_system(context, system)};
    const char *name[2] {}, *direction[2] {};
    for (int i = 0; i < 2; ++i) {
        if (!axes.Object
            || !proj_cs_get_axis_info(context, axes.Object, i, &name[i], nullptr, &direction[i],
                                      nullptr, nullptr, nullptr, nullptr)
            || !direction[i])
            return false;
    }
    const std::string_view first = direction[0], second = direction[1];
    if ((first == "north" || first == "south") && (second == "east" || second == "west"))
        return true;
    return first == second && StartsWithWord(name[0], "northing")
        && StartsWithWord(name[1], "easting");
}

std::string BaseOf(PJ_CONTEXT *context, const PJ *system)
{
    Owned base {context, proj_crs_get_geodetic_crs(context, system)};
    if (!base.Object)
        return {};
    const char *authority = proj_get_id_auth_name(base.Object, 0);
    const char *code = proj_get_id_code(base.Object, 0);
    if (authority && code)
        return std::string(authority) + ":" + code;
    const char *wkt = proj_as_wkt(context, base.Object, PJ_WKT2_2019, nullptr);
    return wkt ? wkt : "";
}

std::optional<AreaOfUse> AreaOf(PJ_CONTEXT *context, const PJ *system)
{
    AreaOfUse area;
    const char *name = nullptr;
    if (!proj_get_area_of_use(context, system, &area.West, &area.South, &area.East, &area.North,
                              &name)
        || area.West == -1000)
        return std::nullopt;
    area.Name = name ? name : "";
    return area;
}

} // namespace

MapProjection::MapProjection(const std::string &definition)
    : MapProjection(definition, false, nullptr)
{ }

MapProjection::MapProjection(const std::string &definition, OwnDatum)
    : MapProjection(definition, true, nullptr)
{ }

MapProjection::MapProjection(const std::string &definition, pj_ctx *shared)
    : MapProjection(definition, false, shared)
{ }

MapProjection::MapProjection(const std::string &definition, OwnDatum, pj_ctx *shared)
    : MapProjection(definition, true, shared)
{ }

MapProjection::MapProjection(const std::string &definition, bool ownDatum, pj_ctx *shared)
    : definition_(Trimmed(definition))
    , ownsContext_(shared == nullptr)
{
    context_ = shared ? shared : proj_context_create();
    if (!context_)
        throw Error("PROJ cannot start");
    std::string message;
    proj_log_func(context_, &message, &KeepLastMessage);
    try {
        if (definition_.empty())
            throw Error("No projection given");
        Owned target {context_, proj_create(context_, definition_.c_str())};
        // A bare PROJ string describes an operation; as a coordinate system it needs +type=crs.
        if (target.Object && !proj_is_crs(target.Object) && definition_.rfind('+', 0) == 0
            && definition_.find("+type=crs") == std::string::npos) {
            proj_destroy(target.Object);
            target.Object = proj_create(context_, (definition_ + " +type=crs").c_str());
        }
        if (!target.Object)
            throw Error(ReasonOf(message));
        if (!proj_is_crs(target.Object))
            throw Error("It is no coordinate system");
        const char *name = proj_get_name(target.Object);
        name_ = name ? name : definition_;
        const PJ_TYPE type = proj_get_type(target.Object);
        geographic_ = type == PJ_TYPE_GEOGRAPHIC_2D_CRS || type == PJ_TYPE_GEOGRAPHIC_3D_CRS
            || type == PJ_TYPE_GEOGRAPHIC_CRS;
        const char *authority = proj_get_id_auth_name(target.Object, 0);
        const char *code = proj_get_id_code(target.Object, 0);
        if (authority && code)
            code_ = std::string(authority) + ":" + code;
        area_ = AreaOf(context_, target.Object);
        base_ = BaseOf(context_, target.Object);
        // Weighing candidates needs neither the texts for other tools nor their axes.
        if (!ownDatum)
            DescribeForFiles(target.Object);

        Owned wgs84 {context_, ownDatum ? proj_crs_get_geodetic_crs(context_, target.Object)
                                        : proj_create(context_, "EPSG:4326")};
        Owned operation {context_, wgs84.Object ? proj_create_crs_to_crs_from_pj(
                                                      context_, wgs84.Object, target.Object,
                                                      nullptr, nullptr)
                                                : nullptr};
        // Longitude first and easting first, whatever the systems' own axis orders.
        toPlane_ = operation.Object ? proj_normalize_for_visualization(context_, operation.Object)
                                    : nullptr;
        if (!toPlane_)
            throw Error("No way from WGS 84 to it: " + ReasonOf(message));
    } catch (...) {
        Release();
        throw;
    }
    proj_log_func(context_, nullptr, &KeepLastMessage);
}

void MapProjection::DescribeForFiles(const PJconsts *system)
{
    if (const char *text = proj_as_proj_string(context_, system, PJ_PROJ_5, nullptr))
        projString_ = text;
    // On one line: the files that carry it hold it in a line or an attribute.
    const char *const oneLine[] = {"MULTILINE=NO", nullptr};
    const char *wkt = proj_as_wkt(context_, system, PJ_WKT1_GDAL, oneLine);
    if (!wkt)
        wkt = proj_as_wkt(context_, system, PJ_WKT2_2019, oneLine);
    wkt_ = wkt ? wkt : definition_;
    // GDAL reads the axes from the WKT written for it, which may differ from the definition's
    // (WKT 1 leaves out the axes of most projected systems, and so means easting first).
    Owned written {context_, proj_create(context_, wkt_.c_str())};
    northingFirst_ = NamesNorthingFirst(context_, written.Object ? written.Object : system);
}

MapProjection::MapProjection(const MapProjection &other)
    : definition_(other.definition_)
    , name_(other.name_)
    , wkt_(other.wkt_)
    , code_(other.code_)
    , projString_(other.projString_)
    , base_(other.base_)
    , area_(other.area_)
    , northingFirst_(other.northingFirst_)
    , geographic_(other.geographic_)
{
    context_ = proj_context_create();
    if (context_)
        proj_log_func(context_, nullptr, &KeepLastMessage);
    toPlane_ = context_ ? proj_clone(context_, other.toPlane_) : nullptr;
    if (!toPlane_) {
        Release();
        throw Error("PROJ cannot copy the projection");
    }
}

MapProjection &MapProjection::operator=(const MapProjection &other)
{
    if (this != &other)
        *this = MapProjection(other);
    return *this;
}

MapProjection::MapProjection(MapProjection &&other) noexcept
    : definition_(std::move(other.definition_))
    , name_(std::move(other.name_))
    , wkt_(std::move(other.wkt_))
    , code_(std::move(other.code_))
    , projString_(std::move(other.projString_))
    , base_(std::move(other.base_))
    , area_(std::move(other.area_))
    , northingFirst_(other.northingFirst_)
    , geographic_(other.geographic_)
    , context_(std::exchange(other.context_, nullptr))
    , ownsContext_(other.ownsContext_)
    , toPlane_(std::exchange(other.toPlane_, nullptr))
{ }

MapProjection &MapProjection::operator=(MapProjection &&other) noexcept
{
    if (this != &other) {
        Release();
        definition_ = std::move(other.definition_);
        name_ = std::move(other.name_);
        wkt_ = std::move(other.wkt_);
        code_ = std::move(other.code_);
        projString_ = std::move(other.projString_);
        base_ = std::move(other.base_);
        area_ = std::move(other.area_);
        northingFirst_ = other.northingFirst_;
        geographic_ = other.geographic_;
        context_ = std::exchange(other.context_, nullptr);
        ownsContext_ = other.ownsContext_;
        toPlane_ = std::exchange(other.toPlane_, nullptr);
    }
    return *this;
}

MapProjection::~MapProjection()
{
    Release();
}

void MapProjection::Release() noexcept
{
    if (toPlane_)
        proj_destroy(toPlane_);
    if (context_ && ownsContext_)
        proj_context_destroy(context_);
    toPlane_ = nullptr;
    context_ = nullptr;
}

std::optional<PlanePoint> MapProjection::Forward(Extended lat, Extended lon) const noexcept
{
    if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90)
        return std::nullopt;
    const PJ_COORD out
        = proj_trans(toPlane_, PJ_FWD, proj_coord(double(lon), double(lat), 0, 0));
    if (!std::isfinite(out.xy.x) || !std::isfinite(out.xy.y) || out.xy.x == HUGE_VAL) {
        proj_errno_reset(toPlane_);
        return std::nullopt;
    }
    return PlanePoint {out.xy.x, out.xy.y};
}

std::optional<std::pair<double, double>> MapProjection::Inverse(double e, double n) const noexcept
{
    if (!std::isfinite(e) || !std::isfinite(n))
        return std::nullopt;
    const PJ_COORD out = proj_trans(toPlane_, PJ_INV, proj_coord(e, n, 0, 0));
    if (!std::isfinite(out.lp.lam) || !std::isfinite(out.lp.phi) || out.lp.lam == HUGE_VAL) {
        proj_errno_reset(toPlane_);
        return std::nullopt;
    }
    return std::pair {out.lp.phi, out.lp.lam}; // latitude, longitude
}

std::string MapProjection::OneLine() const
{
    if (!code_.empty())
        return name_ + " (" + code_ + ")";
    const bool oneLine = definition_.find_first_of("\r\n") == std::string::npos;
    if (oneLine && definition_.size() <= 200 && definition_.rfind('+', 0) == 0)
        return name_ + " (" + definition_ + ")";
    if (!projString_.empty())
        return name_ + " (" + projString_ + ")";
    return name_;
}

std::string MapProjection::UtmFor(std::span<const TCalibPoint> points)
{
    const std::optional<LongitudeSpan> span = LongitudeSpan::Of(points);
    if (!span)
        return {};
    return UtmFor(span->MeanLat(), span->MeanLon);
}

std::string MapProjection::UtmFor(Extended lat, Extended lon)
{
    // The zones are 6° bands numbered eastwards from 180° W; the EPSG codes of WGS 84 are
    // 326zz in the north and 327zz in the south.
    Extended wrapped = std::fmod(lon + 180, Extended(360));
    if (wrapped < 0)
        wrapped += 360;
    const int zone = std::min(60, int(wrapped / 6) + 1);
    return "EPSG:" + std::to_string((lat < 0 ? 32700 : 32600) + zone);
}

} // namespace carteva
