// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/LinePlot.h"

#include "gpx/ClippedLine.h"
#include "gpx/GpxLines.h"

namespace carteva {

std::shared_ptr<const LinePlot> LinePlot::Of(const GpxLines &lines, const MappingSetup &kind,
                                             std::span<const TCalibPoint> points)
{
    auto plot = std::make_shared<LinePlot>(kind, points);
    plot->Add(lines);
    return plot;
}

void LinePlot::Add(const GpxLines &lines)
{
    for (std::size_t point = 0; point < lines.PointCount() && !Ended(); ++point) {
        if (lines.StartsLine(point))
            Break();
        Add(lines.Point(point));
    }
}

void LinePlot::Add(const WaypointText &point)
{
    const std::size_t at = points_.Pixels().size();
    if (!points_.Add(point)) {
        broken_ = true;
        return;
    }
    if (broken_)
        starts_.push_back(at);
    broken_ = false;
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
    const std::vector<Pixel> &pixels = points_.Pixels();
    const std::size_t warnAt = points_.WarnAt();
    std::size_t nextStart = 0; // in starts_
    bool endPainted = false; // a step ended at the point before, and it lies inside the picture
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i == warnAt)
            warn();
        const Pixel &to = pixels[i];
        if (nextStart < starts_.size() && starts_[nextStart] == i) {
            ++nextStart;
            const bool alone = i + 1 == pixels.size()
                || (nextStart < starts_.size() && starts_[nextStart] == i + 1);
            if (alone)
                DrawClippedLine(batch, to, to, width, height);
            endPainted = false;
        } else {
            DrawClippedLine(batch, pixels[i - 1], to, width, height, endPainted);
            endPainted = InsidePicture(to, width, height);
        }
    }
    if (warnAt == pixels.size())
        warn();
    batch.Flush();
    points_.RethrowError();
    return pixels.size();
}

} // namespace carteva
