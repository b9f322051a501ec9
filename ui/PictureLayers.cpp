// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PictureLayers.h"

#include "ui/OverlayPlot.h"
#include "ui/PictureView.h"
#include "ui/ShownPixels.h"

#include <QApplication>
#include <QScopeGuard>

#include <utility>

namespace carteva {

namespace {

constexpr QRgb MarkColour = qRgb(255, 0, 0);
constexpr QRgb WaypointColour = qRgb(255, 128, 0);

} // namespace

PictureLayers::PictureLayers(PictureView &view)
    : QObject(&view)
    , view_(view)
{
    setObjectName(QStringLiteral("PictureLayers"));
    view_.SetLayers(this);
}

PictureLayers::~PictureLayers() = default;

void PictureLayers::ShowMarks(std::span<const TCalibPoint> points)
{
    if (!points.empty())
        view_.MakeDrawable();
    const QSize size = view_.PictureSize();
    std::vector<QPoint> pixels;
    pixels.reserve(points.size() * 5);
    for (const TCalibPoint &point : points) {
        // 64-bit, so the arms of a point at the edge of the int32 range do not wrap around.
        const std::int64_t x = point.X, y = point.Y;
        for (const auto &[dx, dy] : {std::pair {0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
            if (x + dx >= 0 && y + dy >= 0 && x + dx < size.width() && y + dy < size.height())
                pixels.emplace_back(int(x + dx), int(y + dy));
        }
    }
    marks_ = PixelSet(pixels, size.height());
    marksAbove_ = files_.size();
    view_.update();
}

OverlaySighting PictureLayers::AddOverlay(GpxOverlay overlay, const MappingSetup &kind,
                                          std::span<const TCalibPoint> points, bool lines,
                                          const std::function<void()> &onFirstUnmappable)
{
    files_.push_back(File {std::move(overlay), {}, 0, false});
    return Map(files_.back(), kind, points, lines, onFirstUnmappable);
}

OverlaySighting PictureLayers::Map(File &file, const MappingSetup &kind,
                                   std::span<const TCalibPoint> points, bool lines,
                                   const std::function<void()> &onFirstUnmappable)
{
    const QSize size = view_.PictureSize();
    std::vector<QPoint> pixels;
    pixels.reserve(file.overlay.Waypoints().Count());
    bool drawable = false;
    const auto take = [&](std::span<const Pixel> some) {
        // The first pixel asks for a picture that can be drawn over, which an icon or a metafile
        // is not.
        if (!drawable) {
            view_.MakeDrawable();
            drawable = true;
        }
        for (const Pixel &pixel : some) {
            if (pixel.X >= 0 && pixel.Y >= 0 && pixel.X < size.width() && pixel.Y < size.height())
                pixels.emplace_back(int(pixel.X), int(pixel.Y));
        }
    };
    const auto show = [&] {
        file.pixels = PixelSet(pixels, size.height());
        view_.update();
    };
    std::function<void()> warn;
    if (onFirstUnmappable) {
        // The warning's box shows the picture as far as it got, as drawing pixel by pixel did.
        warn = [&] {
            show();
            onFirstUnmappable();
        };
    }
    file.revision = 0;
    file.lines = lines;
    WaypointCounts counts;
    try {
        counts = OverlayPlot::Plot(file.overlay, kind, points, lines, size.width(), size.height(),
                                   take, warn);
    } catch (...) {
        show();
        throw;
    }
    OverlaySighting sighting;
    sighting.inside = pixels.size();
    sighting.waypointsOutside = counts.Outside;
    // Line pixels come only from inside the picture: with none there, every line point is out.
    if (lines && pixels.empty())
        sighting.linePointsOutside = file.overlay.Lines().Count();
    show();
    file.revision = Revision(kind, points);
    return sighting;
}

void PictureLayers::Follow(const MappingSetup &kind, std::span<const TCalibPoint> points,
                           bool lines)
{
    const std::uint64_t revision = Revision(kind, points);
    const auto current = [&](const File &file) {
        return file.revision == revision && file.lines == lines;
    };
    // Mapping a million waypoints takes a while; showing what is mapped already does not.
    std::size_t toMap = 0;
    for (const File &file : files_)
        if (!current(file))
            toMap += file.overlay.Waypoints().Count() + (lines ? file.overlay.LinePointCount() : 0);
    const bool busy = toMap > BusyAbove;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    const auto restore = qScopeGuard([busy] {
        if (busy)
            QApplication::restoreOverrideCursor();
    });
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (current(files_[i]))
            continue;
        try {
            Map(files_[i], kind, points, lines, {});
        } catch (...) {
            for (std::size_t later = i + 1; later < files_.size(); ++later)
                files_[later] = File {std::move(files_[later].overlay), {}, 0, false};
            throw;
        }
    }
}

void PictureLayers::ClearOverlays()
{
    files_.clear();
    marksAbove_ = 0;
    view_.update();
}

std::uint64_t PictureLayers::Revision(const MappingSetup &kind,
                                      std::span<const TCalibPoint> points)
{
    if (revision_ == 0 || !(kind == kind_) || !SameRecords(points, points_)) {
        kind_ = kind;
        points_.assign(points.begin(), points.end());
        ++revision_;
    }
    return revision_;
}

void PictureLayers::Paint(ShownPixels &shown) const
{
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (i == marksAbove_)
            shown.Paint(marks_, MarkColour);
        shown.Paint(files_[i].pixels, WaypointColour);
    }
    if (marksAbove_ >= files_.size())
        shown.Paint(marks_, MarkColour);
}

std::size_t PictureLayers::PixelCount() const
{
    std::size_t count = marks_.Count();
    for (const File &file : files_)
        count += file.pixels.Count();
    return count;
}

std::size_t PictureLayers::MemoryUsed() const
{
    std::size_t bytes = marks_.MemoryUsed();
    for (const File &file : files_)
        bytes += file.pixels.MemoryUsed();
    return bytes;
}

} // namespace carteva
