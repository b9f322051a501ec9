// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"

#include <QRectF>
#include <QSize>
#include <QSizeF>

#include <functional>
#include <optional>
#include <span>

namespace carteva {

// Where a web map opens: its centre and a level of the common web map tile pyramid (the world
// is 256 screen pixels wide at level 0, and each level doubles that).
struct MapPlace
{
    double Lat = 0;
    double Lon = 0;
    int Zoom = 0;
    bool operator==(const MapPlace &) const = default;
};

// What the window shows of the picture.
struct PictureInSight
{
    QSize PictureSize; // the whole picture, in picture pixels
    QRectF Pixels; // the part in sight, pixel X covering X to X + 1; empty when nothing is
    QSizeF OnScreen; // how large that part is on the screen
};

// Picture pixel -> position, pixel X, Y at its centre; empty where there is no usable mapping.
using PixelToPosition = std::function<std::optional<GeoPosition>(double x, double y)>;

// Finds the place on the ground the user is working on, for a web map to open there.
class WorkingPlace
{
public:
    static constexpr MapPlace World {0, 0, 2};
    // The highest level public web maps draw.
    static constexpr int MaxZoom = 19;

    // The middle of the part in sight, at the level that shows about as much ground as the window
    // does; without that, the whole picture through the mapping; without a usable mapping, the
    // area the points span; without points, the world.
    static MapPlace Find(std::span<const TCalibPoint> points, const PictureInSight &sight,
                         const PixelToPosition &toPosition);

    // The level at which `onScreen` screen pixels show lonSpan degrees across and the latitudes
    // from south to north down; empty when neither span can be measured.
    static std::optional<int> ZoomShowing(double lonSpan, double south, double north,
                                          QSizeF onScreen);
};

} // namespace carteva
