// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/GeoToPixel.h"
#include "calibration/Mapping.h"
#include "calibration/PixelSurface.h"
#include "gpx/WaypointPlot.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <vector>

namespace carteva {

// Track segments and routes mapped to pixels, before anything is painted, as WaypointPlot does
// for waypoints: the mapping can run while the file is read, and painting replays it. A point
// without both coordinates as complete numbers, or one that cannot be mapped, breaks its line
// there; a floating-point error of the conversion or the mapping ends the plot.
class LinePlot
{
public:
    LinePlot(const MappingSetup &kind, std::span<const TCalibPoint> points);

    // The next points belong to a new line.
    void Break() { broken_ = true; }
    void Add(const WaypointText &point);
    // Room for this many points; only a hint, never fails.
    void Reserve(std::size_t points) noexcept;
    bool Ended() const { return static_cast<bool>(error_); }
    bool MadeWith(const MappingSetup &kind, std::span<const TCalibPoint> points) const;

    // Paints each line orange, one pixel wide, through its points in order (a line of one point
    // is that pixel), clipped to the width × height picture. onFirstUnmappable runs where the
    // first point that could not be mapped stood; the error that ended the plot is rethrown
    // after the lines before it. Returns the number of points painted through.
    std::size_t Paint(PixelSurface &surface, std::int64_t width, std::int64_t height,
                      const std::function<void()> &onFirstUnmappable = {}) const;

private:
    std::vector<TCalibPoint> points_;
    Mapping mapping_;
    std::vector<Pixel> pixels_;
    std::vector<std::size_t> starts_; // where in pixels_ each line begins
    bool broken_ = true;
    std::size_t notMappable_ = 0;
    std::size_t firstUnmappableAt_ = 0; // pixels before the warning, when notMappable_
    std::exception_ptr error_;
};

} // namespace carteva
