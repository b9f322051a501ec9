// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"
#include "calibration/PixelSurface.h"
#include "gpx/GpxDocument.h"
#include "gpx/WaypointPlot.h"

#include <cstdint>

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
// The waypoints are mapped with the mapping of kind `kind` made for `points`; when the loader
// already mapped them so (GpxLoader::Load with points), their plot is painted, to the same
// effect.
WaypointCounts DrawWaypoints(const GpxDocument &document, const MappingSetup &kind,
                             std::span<const TCalibPoint> points, PixelSurface &surface,
                             const std::function<void()> &onFirstUnmappable = {});
// With the nearest-pair mapping.
WaypointCounts DrawWaypoints(const GpxDocument &document, std::span<const TCalibPoint> points,
                             PixelSurface &surface,
                             const std::function<void()> &onFirstUnmappable = {});

// Paints the document's track segments and routes (see GpxLoader::CollectLines) as one-pixel
// orange lines through their points in order, clipped to the width × height picture; a point
// without usable coordinates, or one that cannot be mapped, breaks its line. Warnings and
// floating-point errors as for DrawWaypoints. Returns the number of points painted through.
std::size_t DrawLines(const GpxDocument &document, const MappingSetup &kind,
                      std::span<const TCalibPoint> points, PixelSurface &surface,
                      std::int64_t width, std::int64_t height,
                      const std::function<void()> &onFirstUnmappable = {});
// With the nearest-pair mapping.
std::size_t DrawLines(const GpxDocument &document, std::span<const TCalibPoint> points,
                      PixelSurface &surface, std::int64_t width, std::int64_t height,
                      const std::function<void()> &onFirstUnmappable = {});

} // namespace carteva
