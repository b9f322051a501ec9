// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/GeoToPixel.h"
#include "calibration/Mapping.h"
#include "calibration/PixelSurface.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace carteva {

class GpxLines;

// A waypoint's coordinate texts; nothing where the attribute is missing.
struct WaypointText
{
    std::optional<std::string_view> Lat;
    std::optional<std::string_view> Lon;
};

// A point's pixel from its coordinate texts, as both plots map them: Complete is false when either
// text is missing or not a complete number, At is empty when the mapping gives none. The
// latitude is read first, then the longitude; their floating-point errors, and the mapping's,
// are thrown.
struct MappedText
{
    bool Complete;
    std::optional<Pixel> At;
};
MappedText MapText(const Mapping &mapping, const WaypointText &point);

struct WaypointCounts
{
    std::size_t Painted = 0;
    std::size_t Outside = 0; // mapped, but the pixel lies outside the picture
    std::size_t NotMappable = 0; // no usable pair of calibration points
    std::size_t Skipped = 0; // lat or lon missing or not a complete number
};

// The waypoints of one overlay mapped to pixels, in document order, before anything is painted:
// the mapping can then run while the file is still being read, and a file that turns out
// malformed paints nothing. Painting replays what drawing waypoint by waypoint would have done:
// the same pixels in the same order, the warning at the same place, and a floating-point error
// ending it where it arose.
class WaypointPlot
{
public:
    WaypointPlot(const MappingSetup &kind, std::span<const TCalibPoint> points);
    // The plot of each of `waypoints`' points (their lines do not matter).
    static std::shared_ptr<const WaypointPlot> Of(const GpxLines &waypoints, const MappingSetup &kind,
                                                  std::span<const TCalibPoint> points);

    // Maps the next waypoint from its "lat" and "lon" texts (nothing: the attribute is missing).
    // A waypoint without both, or with text that is not a complete number, is skipped. After a
    // floating-point error of the conversion or the mapping, the plot ends: Add does nothing.
    // True when the waypoint got a pixel.
    bool Add(const WaypointText &waypoint);
    // Each of `waypoints`' points, until the plot ends.
    void Add(const GpxLines &waypoints);
    // Room for this many pixels, so that they need not be copied while they grow; a hint only.
    void Reserve(std::size_t waypoints) noexcept;
    bool Ended() const { return static_cast<bool>(error_); }

    bool MadeWith(const MappingSetup &kind, std::span<const TCalibPoint> points) const;

    // Paints the pixels orange in order; onFirstUnmappable runs where the first waypoint that
    // could not be mapped stood. Rethrows the error that ended the plot, after the pixels before
    // it.
    WaypointCounts Paint(PixelSurface &surface,
                         const std::function<void()> &onFirstUnmappable = {}) const;

    // For a plot that paints the pixels otherwise: them in order, the pixel before which the
    // first waypoint that could not be mapped stood (past the end when none), and the error.
    const std::vector<Pixel> &Pixels() const { return pixels_; }
    std::size_t WarnAt() const
    {
        return notMappable_ > 0 ? firstUnmappableAt_ : pixels_.size() + 1;
    }
    void RethrowError() const
    {
        if (error_)
            std::rethrow_exception(error_);
    }

private:
    std::vector<TCalibPoint> points_;
    Mapping mapping_;
    std::vector<Pixel> pixels_;
    std::size_t skipped_ = 0;
    std::size_t notMappable_ = 0;
    std::size_t firstUnmappableAt_ = 0; // pixels painted before the warning, when notMappable_
    std::exception_ptr error_;
};

} // namespace carteva
