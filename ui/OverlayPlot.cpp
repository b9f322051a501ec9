// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/OverlayPlot.h"

#include "gpx/GpxOverlay.h"
#include "ui/ClippedLine.h"

#include <optional>

namespace carteva {

namespace {

// Steps the lines of `points` into `batch`; `unmappable` at each point that cannot be mapped.
void PlotLines(const PositionList &points, const Mapping &mapping, std::int64_t width,
               std::int64_t height, PixelBatch &batch, const std::function<void()> &unmappable)
{
    // A line's first pixel waits for the next point: with none, it is a line of one pixel.
    std::optional<Pixel> start;
    std::optional<Pixel> previous; // the line's last pixel after its first step
    bool endPainted = false; // the last step ended there, inside the picture
    const auto endLine = [&] {
        if (start)
            DrawClippedLine(batch, *start, *start, width, height);
        start.reset();
        previous.reset();
    };
    try {
        for (std::size_t i = 0; i < points.Count(); ++i) {
            if (points.StartsLine(i))
                endLine();
            const GeoPosition &position = points.At(i);
            const std::optional<Pixel> to = mapping.GeoToPixel(position.Lat, position.Lon);
            if (!to) {
                endLine();
                unmappable();
                continue;
            }
            if (!start && !previous) {
                start = to;
                continue;
            }
            if (start)
                DrawClippedLine(batch, *start, *to, width, height);
            else
                DrawClippedLine(batch, *previous, *to, width, height, endPainted);
            start.reset();
            previous = to;
            endPainted = InsidePicture(*to, width, height);
        }
        endLine();
        points.RethrowError();
    } catch (...) {
        endLine();
        throw;
    }
}

} // namespace

WaypointCounts OverlayPlot::Plot(const GpxOverlay &overlay, const Mapping &mapping, bool lines,
                                 std::int64_t width, std::int64_t height,
                                 const PixelBatch::Take &take,
                                 const std::function<void()> &onFirstUnmappable)
{
    WaypointCounts counts;
    PixelBatch batch(take);
    bool warned = false;
    const auto unmappable = [&] {
        if (std::exchange(warned, true))
            return;
        batch.Flush(); // the pixels before the warning are handed on before it
        if (onFirstUnmappable)
            onFirstUnmappable();
    };
    try {
        const PositionList &waypoints = overlay.Waypoints();
        for (std::size_t i = 0; i < waypoints.Count(); ++i) {
            const GeoPosition &position = waypoints.At(i);
            const std::optional<Pixel> pixel = mapping.GeoToPixel(position.Lat, position.Lon);
            if (!pixel) {
                ++counts.NotMappable;
                unmappable();
                continue;
            }
            ++(InsidePicture(*pixel, width, height) ? counts.Painted : counts.Outside);
            batch.Add(pixel->X, pixel->Y);
        }
        waypoints.RethrowError();
        counts.Skipped = waypoints.Skipped();
        if (lines)
            PlotLines(overlay.Lines(), mapping, width, height, batch, unmappable);
    } catch (...) {
        batch.Flush();
        throw;
    }
    batch.Flush();
    return counts;
}

} // namespace carteva
