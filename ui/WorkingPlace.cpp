// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/WorkingPlace.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace carteva {

namespace {

// Web maps stop where the Mercator square ends.
constexpr double kMaxLat = 85.0511287798;
constexpr double kTile = 256;
// Points that make no mapping say where the map is, but hardly how much ground it shows: no
// closer than a town and its surroundings.
constexpr int kPointsOnlyMaxZoom = 12;

double MercatorY(double lat)
{
    const double phi = std::clamp(lat, -kMaxLat, kMaxLat) * std::numbers::pi / 180;
    return std::log(std::tan(std::numbers::pi / 4 + phi / 2));
}

// A centre a web map can show: latitude inside its square, longitude in [-180, 180).
std::optional<MapPlace> PlaceAt(double lat, double lon, int zoom)
{
    if (!std::isfinite(lat) || !std::isfinite(lon))
        return std::nullopt;
    double wrapped = std::fmod(lon + 180, 360);
    if (wrapped < 0)
        wrapped += 360;
    return MapPlace {std::clamp(lat, -kMaxLat, kMaxLat), wrapped - 180, zoom};
}

// The middle of `pixels` and the ground between its edges, through the mapping.
std::optional<MapPlace> PlaceOfArea(const QRectF &pixels, QSizeF onScreen,
                                    const PixelToPosition &toPosition)
{
    if (pixels.isEmpty() || !toPosition)
        return std::nullopt;
    // Pixel X covers X to X + 1 of the area; the mapping puts its points at pixel centres.
    const QRectF area = pixels.translated(-0.5, -0.5);
    const QPointF c = area.center();
    const auto centre = toPosition(c.x(), c.y());
    const auto west = toPosition(area.left(), c.y());
    const auto east = toPosition(area.right(), c.y());
    const auto north = toPosition(c.x(), area.top());
    const auto south = toPosition(c.x(), area.bottom());
    if (!centre || !west || !east || !north || !south)
        return std::nullopt;
    const auto zoom = WorkingPlace::ZoomShowing(double(std::fabs(east->Lon - west->Lon)),
                                                double(std::min(north->Lat, south->Lat)),
                                                double(std::max(north->Lat, south->Lat)), onScreen);
    if (!zoom)
        return std::nullopt;
    return PlaceAt(double(centre->Lat), double(centre->Lon), *zoom);
}

// The rectangle of the points' positions: where the picture lies, as far as they tell.
std::optional<MapPlace> PlaceOfPoints(std::span<const TCalibPoint> points, QSizeF onScreen)
{
    double south = 90, north = -90, west = 180, east = -180;
    bool any = false;
    for (const TCalibPoint &point : points) {
        const double lat = double(point.Lat);
        const double lon = double(point.Lon);
        // A damaged or mistyped point says nothing about where the map is.
        if (!(std::fabs(lat) <= 90 && std::fabs(lon) <= 180))
            continue;
        south = std::min(south, lat);
        north = std::max(north, lat);
        west = std::min(west, lon);
        east = std::max(east, lon);
        any = true;
    }
    if (!any)
        return std::nullopt;
    const int zoom = std::min(
        WorkingPlace::ZoomShowing(east - west, south, north, onScreen).value_or(kPointsOnlyMaxZoom),
        kPointsOnlyMaxZoom);
    return PlaceAt((south + north) / 2, (west + east) / 2, zoom);
}

} // namespace

MapPlace WorkingPlace::Find(std::span<const TCalibPoint> points, const PictureInSight &sight,
                            const PixelToPosition &toPosition)
{
    if (auto place = PlaceOfArea(sight.Pixels, sight.OnScreen, toPosition))
        return *place;
    const QSizeF whole(sight.PictureSize);
    const QSizeF screen = sight.OnScreen.isEmpty() ? whole : sight.OnScreen;
    if (auto place = PlaceOfArea(QRectF(QPointF(0, 0), whole), screen, toPosition))
        return *place;
    if (auto place = PlaceOfPoints(points, screen))
        return *place;
    return World;
}

std::optional<int> WorkingPlace::ZoomShowing(double lonSpan, double south, double north,
                                             QSizeF onScreen)
{
    // At level z the world is kTile * 2^z pixels wide: 360 degrees across, 2 pi of Mercator
    // height down.
    std::optional<double> level;
    const auto fit = [&](double screenPixels, double span, double worldSpan) {
        if (!(screenPixels > 0 && span > 0))
            return;
        const double z = std::log2(screenPixels * worldSpan / (kTile * span));
        if (std::isfinite(z))
            level = std::min(level.value_or(z), z);
    };
    fit(onScreen.width(), lonSpan, 360);
    fit(onScreen.height(), MercatorY(north) - MercatorY(south), 2 * std::numbers::pi);
    if (!level)
        return std::nullopt;
    // The nearest level: the browser shows between 0.7 and 1.4 times the window's ground.
    return int(std::clamp(std::round(*level), 0.0, double(MaxZoom)));
}

} // namespace carteva
