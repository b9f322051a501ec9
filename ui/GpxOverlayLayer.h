// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"
#include "gpx/GpxOverlays.h"

#include <QObject>

#include <cstddef>
#include <functional>
#include <span>

namespace carteva {

class GpxDocument;
class PictureView;

// The GPX overlays on the picture: every file loaded in the run stays, in load order, through
// every repaint until Clear. Of each file only what is drawn is kept (GpxOverlays), not its
// document.
class GpxOverlayLayer : public QObject
{
    Q_OBJECT
public:
    // Above this many waypoints and line points to map afresh, a repaint shows the busy cursor.
    static constexpr std::size_t BusyAbove = 4000;

    explicit GpxOverlayLayer(PictureView &view);

    // Keeps the document's overlay and paints it over the picture as it stands.
    void Add(const GpxDocument &document, MappingKind kind, std::span<const TCalibPoint> points,
             bool lines, const std::function<void()> &onFirstUnmappable);
    // Paints every overlay again, in load order, on a picture whose overlays were taken off.
    void PaintAll(MappingKind kind, std::span<const TCalibPoint> points, bool lines);
    void Clear() { overlays_.Clear(); }
    const GpxOverlays &Overlays() const { return overlays_; }

private:
    void Paint(std::size_t index, MappingKind kind, std::span<const TCalibPoint> points,
               bool lines, const std::function<void()> &onFirstUnmappable);

    PictureView &view_;
    GpxOverlays overlays_;
};

} // namespace carteva
