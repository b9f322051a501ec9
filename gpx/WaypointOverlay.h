// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/PixelSurface.h"
#include "gpx/GpxDocument.h"
#include "gpx/WaypointPlot.h"

#include <functional>
#include <span>

namespace carteva {

// Paints every waypoint that stands directly under the root (a child whose node name is exactly
// "wpt") orange at the pixel GeoToPixel gives for its "lat" and "lon" attributes, in document
// order. A waypoint without usable coordinates is skipped rather than painted at a stale or
// made-up position, and one that cannot be mapped is not painted at all; onFirstUnmappable is
// called at the first of those in this call. A floating-point error of the conversion or the
// mapping ends the drawing there and propagates; the pixels painted before it stay.
//
// When the loader already mapped the waypoints with these very points (GpxLoader::Load with
// points), their plot is painted; the result is the same. With MappingKind::BestFit the waypoints
// are placed by the fit through all points instead.
WaypointCounts DrawWaypoints(const GpxDocument &document, MappingKind kind,
                             std::span<const TCalibPoint> points, PixelSurface &surface,
                             const std::function<void()> &onFirstUnmappable = {});
// With the nearest-pair mapping.
WaypointCounts DrawWaypoints(const GpxDocument &document, std::span<const TCalibPoint> points,
                             PixelSurface &surface,
                             const std::function<void()> &onFirstUnmappable = {});

} // namespace carteva
