// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/GpxOverlayLayer.h"

#include "ui/PictureSurface.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QScopeGuard>

#include <utility>

namespace carteva {

GpxOverlayLayer::GpxOverlayLayer(PictureView &view)
    : QObject(&view)
    , view_(view)
{
    setObjectName(QStringLiteral("GpxOverlayLayer"));
}

void GpxOverlayLayer::Add(GpxOverlay overlay, const MappingSetup &kind, std::span<const TCalibPoint> points,
                          bool lines, const std::function<void()> &onFirstUnmappable)
{
    overlays_.push_back(std::move(overlay));
    Paint(overlays_.back(), kind, points, lines, onFirstUnmappable);
}

void GpxOverlayLayer::PaintAll(const MappingSetup &kind, std::span<const TCalibPoint> points, bool lines)
{
    // Mapping a million waypoints takes a while; a repaint that only replays plots does not.
    std::size_t toMap = 0;
    for (const GpxOverlay &overlay : overlays_)
        toMap += overlay.PointsToMap(kind, points, lines);
    const bool busy = toMap > BusyAbove;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    const auto restore = qScopeGuard([busy] {
        if (busy)
            QApplication::restoreOverrideCursor();
    });
    for (const GpxOverlay &overlay : overlays_)
        Paint(overlay, kind, points, lines, {});
}

void GpxOverlayLayer::Paint(const GpxOverlay &overlay, const MappingSetup &kind,
                            std::span<const TCalibPoint> points, bool lines,
                            const std::function<void()> &onFirstUnmappable)
{
    PictureSurface surface(view_);
    const QSize size = view_.PictureSize();
    overlay.Draw(kind, points, surface, lines, size.width(), size.height(), onFirstUnmappable);
}

} // namespace carteva
