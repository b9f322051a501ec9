// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/LinePlot.h"

#include "calibration/Errors.h"
#include "gpx/ClippedLine.h"
#include "gpx/ReserveHint.h"

#include <algorithm>

namespace carteva {

LinePlot::LinePlot(const MappingSetup &kind, std::span<const TCalibPoint> points)
    : points_(points.begin(), points.end())
    , mapping_(kind, points)
{ }

void LinePlot::Add(const WaypointText &point)
{
    if (error_)
        return;
    try {
        const MappedText mapped = MapText(mapping_, point);
        if (mapped.Complete && !mapped.At && notMappable_++ == 0)
            firstUnmappableAt_ = pixels_.size();
        if (!mapped.At) {
            broken_ = true;
            return;
        }
        if (broken_)
            starts_.push_back(pixels_.size());
        broken_ = false;
        pixels_.push_back(*mapped.At);
    } catch (const Error &) {
        error_ = std::current_exception();
    }
}

void LinePlot::Reserve(std::size_t points) noexcept
{
    ReserveHint([&] { pixels_.reserve(points); });
}

bool LinePlot::MadeWith(const MappingSetup &kind, std::span<const TCalibPoint> points) const
{
    return kind == mapping_.Setup() && SameRecords(points_, points);
}

std::size_t LinePlot::Paint(PixelSurface &surface, std::int64_t width, std::int64_t height,
                            const std::function<void()> &onFirstUnmappable) const
{
    PixelBatch batch(surface, ColourOrange);
    const auto warn = [&] {
        batch.Flush(); // the pixels before the warning are painted before it
        if (onFirstUnmappable)
            onFirstUnmappable();
    };
    const std::size_t warnAt = notMappable_ > 0 ? firstUnmappableAt_ : pixels_.size() + 1;
    std::size_t nextStart = 0; // in starts_
    bool endPainted = false; // the step before lay inside the picture, so its end is painted
    bool endInside = false; // the point before lies inside the picture
    for (std::size_t i = 0; i < pixels_.size(); ++i) {
        if (i == warnAt)
            warn();
        const Pixel &to = pixels_[i];
        const bool toInside = InsidePicture(to, width, height);
        const bool starts = nextStart < starts_.size() && starts_[nextStart] == i;
        if (starts) {
            ++nextStart;
            const bool alone = i + 1 == pixels_.size()
                || (nextStart < starts_.size() && starts_[nextStart] == i + 1);
            if (alone)
                DrawClippedLine(batch, to, to, width, height);
            endPainted = false;
        } else if (endInside && toInside) {
            DrawInsideLine(batch, pixels_[i - 1], to, endPainted);
            endPainted = true;
        } else {
            DrawClippedLine(batch, pixels_[i - 1], to, width, height);
            endPainted = false;
        }
        endInside = toInside;
    }
    if (warnAt == pixels_.size())
        warn();
    batch.Flush();
    if (error_)
        std::rethrow_exception(error_);
    return pixels_.size();
}

} // namespace carteva
