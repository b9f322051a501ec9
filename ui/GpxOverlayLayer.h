// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"
#include "gpx/GpxOverlay.h"

#include <QObject>

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

namespace carteva {

class PictureView;

// The GPX overlays on the picture: every file loaded in the run stays, in load order, through
// every repaint until Clear. Of each file only what is drawn is kept (GpxOverlay), not its
// document.
class GpxOverlayLayer : public QObject
{
    Q_OBJECT
public:
    // Above this many waypoints and line points to map afresh, a repaint shows the busy cursor.
    static constexpr std::size_t BusyAbove = 4000;

    explicit GpxOverlayLayer(PictureView &view);

    // Keeps the overlay and paints it over the picture as it stands.
    void Add(GpxOverlay overlay, const MappingSetup &kind, std::span<const TCalibPoint> points, bool lines,
             const std::function<void()> &onFirstUnmappable);
    // Paints every overlay again, in load order, on a picture whose overlays were taken off.
    void PaintAll(const MappingSetup &kind, std::span<const TCalibPoint> points, bool lines);
    void Clear() { overlays_.clear(); }
    std::size_t Count() const { return overlays_.size(); }

private:
    void Paint(const GpxOverlay &overlay, const MappingSetup &kind, std::span<const TCalibPoint> points,
               bool lines, const std::function<void()> &onFirstUnmappable);

    PictureView &view_;
    std::vector<GpxOverlay> overlays_;
};

} // namespace carteva
