// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/GpxOverlayLayer.h"

#include "ui/PictureSurface.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QScopeGuard>

namespace carteva {

GpxOverlayLayer::GpxOverlayLayer(PictureView &view)
    : QObject(&view)
    , view_(view)
{
    setObjectName(QStringLiteral("GpxOverlayLayer"));
}

void GpxOverlayLayer::Add(const GpxDocument &document, MappingKind kind,
                          std::span<const TCalibPoint> points, bool lines,
                          const std::function<void()> &onFirstUnmappable)
{
    Paint(overlays_.Add(document), kind, points, lines, onFirstUnmappable);
}

void GpxOverlayLayer::PaintAll(MappingKind kind, std::span<const TCalibPoint> points, bool lines)
{
    // Mapping a million waypoints takes a while; a repaint that only replays plots does not.
    const bool busy = overlays_.PointsToMap(kind, points, lines) > BusyAbove;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    const auto restore = qScopeGuard([busy] {
        if (busy)
            QApplication::restoreOverrideCursor();
    });
    for (std::size_t index = 0; index < overlays_.Count(); ++index)
        Paint(index, kind, points, lines, {});
}

void GpxOverlayLayer::Paint(std::size_t index, MappingKind kind,
                            std::span<const TCalibPoint> points, bool lines,
                            const std::function<void()> &onFirstUnmappable)
{
    PictureSurface surface(view_);
    const QSize size = view_.PictureSize();
    overlays_.Draw(index, kind, points, surface, lines, size.width(), size.height(),
                   onFirstUnmappable);
}

} // namespace carteva
