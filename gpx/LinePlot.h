// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"
#include "calibration/PixelSurface.h"
#include "gpx/WaypointPlot.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace carteva {

// Track segments and routes mapped to pixels, before anything is painted, as WaypointPlot does
// for waypoints (and through one): the mapping can run while the file is read, and painting
// replays it. A point without both coordinates as complete numbers, or one that cannot be
// mapped, breaks its line there; a floating-point error of the conversion or the mapping ends
// the plot.
class LinePlot
{
public:
    LinePlot(const MappingSetup &kind, std::span<const TCalibPoint> points)
        : points_(kind, points)
    { }

    // The plot of the lines of `lines`.
    static std::shared_ptr<const LinePlot> Of(const GpxLines &lines, const MappingSetup &kind,
                                              std::span<const TCalibPoint> points);

    // The next points belong to a new line.
    void Break() { broken_ = true; }
    void Add(const WaypointText &point);
    // The lines of `lines` after those added so far.
    void Add(const GpxLines &lines);
    // Room for this many points; only a hint, never fails.
    void Reserve(std::size_t points) noexcept { points_.Reserve(points); }
    bool Ended() const { return points_.Ended(); }
    bool MadeWith(const MappingSetup &kind, std::span<const TCalibPoint> points) const
    {
        return points_.MadeWith(kind, points);
    }
    // The lines' points mapped so far, all lines one after another.
    const std::vector<Pixel> &Pixels() const { return points_.Pixels(); }

    // Paints each line orange, one pixel wide, through its points in order (a line of one point
    // is that pixel), clipped to the width × height picture. onFirstUnmappable runs where the
    // first point that could not be mapped stood; the error that ended the plot is rethrown
    // after the lines before it. Returns the number of points painted through.
    std::size_t Paint(PixelSurface &surface, std::int64_t width, std::int64_t height,
                      const std::function<void()> &onFirstUnmappable = {}) const;

private:
    WaypointPlot points_;
    std::vector<std::size_t> starts_; // where in the points' pixels each line begins
    bool broken_ = true;
};

} // namespace carteva
