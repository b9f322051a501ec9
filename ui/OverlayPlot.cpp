// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/OverlayPlot.h"

#include "gpx/GpxOverlay.h"
#include "ui/ClippedLine.h"

#include <algorithm>
#include <cfenv>
#include <cstdint>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace carteva {

namespace {

// A run of waypoints mapped: the pixels in order, where the first that could not be mapped
// stood (pixels before it), and the error that ended the run.
struct MappedRun
{
    std::vector<Pixel> pixels;
    std::size_t warnAt = SIZE_MAX;
    std::size_t notMappable = 0;
    std::exception_ptr error;
};

void MapRun(const PositionList &waypoints, std::size_t begin, std::size_t end,
            const Mapping &mapping, MappedRun &run) noexcept
{
    try {
        run.pixels.reserve(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
            const GeoPosition &position = waypoints.At(i);
            const std::optional<Pixel> pixel = mapping.GeoToPixel(position.Lat, position.Lon);
            if (!pixel) {
                if (run.notMappable++ == 0)
                    run.warnAt = run.pixels.size();
                continue;
            }
            run.pixels.push_back(*pixel);
        }
    } catch (...) {
        run.error = std::current_exception();
    }
}

// The waypoints mapped in runs, in order: the second half on a second thread with a mapping of
// its own (a projection may not be shared), under this thread's floating-point settings.
// Mapping a million waypoints takes about 50 ms of CPU; a point's removal maps them all again.
std::vector<MappedRun> MapWaypoints(const PositionList &waypoints, const Mapping &mapping,
                                    const MappingSetup &kind, std::span<const TCalibPoint> points)
{
    const std::size_t count = waypoints.Count();
    std::vector<MappedRun> runs(count > OverlayPlot::ParallelAbove ? 2 : 1);
    const std::size_t half = runs.size() == 2 ? count / 2 : count;
    std::thread second;
    if (runs.size() == 2) {
        std::fenv_t environment;
        std::fegetenv(&environment);
        try {
            second = std::thread([&, environment] {
                std::fesetenv(&environment);
                try {
                    const Mapping own(kind, points);
                    MapRun(waypoints, half, count, own, runs[1]);
                } catch (...) {
                    runs[1].error = std::current_exception();
                }
            });
        } catch (const std::system_error &) {
            runs.resize(1);
        }
    }
    MapRun(waypoints, 0, runs.size() == 2 ? half : count, mapping, runs[0]);
    if (second.joinable())
        second.join();
    return runs;
}

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

WaypointCounts OverlayPlot::Plot(const GpxOverlay &overlay, const MappingSetup &kind,
                                 std::span<const TCalibPoint> points, bool lines,
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
        const Mapping mapping(kind, points);
        const PositionList &waypoints = overlay.Waypoints();
        for (const MappedRun &run : MapWaypoints(waypoints, mapping, kind, points)) {
            // A run is handed on as it lies, around its warning, not copied through the batch:
            // 18 M of the 310 M instructions (callgrind) this thread spent on a point's removal
            // with a million waypoints shown.
            const std::span<const Pixel> pixels(run.pixels);
            std::size_t inside = 0;
            for (const Pixel &pixel : pixels)
                inside += InsidePicture(pixel, width, height) ? 1 : 0;
            counts.Painted += inside;
            counts.Outside += pixels.size() - inside;
            const std::size_t warnAt = std::min(run.warnAt, pixels.size());
            batch.Flush();
            if (warnAt > 0)
                take(pixels.first(warnAt));
            if (run.warnAt <= pixels.size())
                unmappable();
            if (warnAt < pixels.size())
                take(pixels.subspan(warnAt));
            counts.NotMappable += run.notMappable;
            if (run.error)
                std::rethrow_exception(run.error);
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
