// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"
#include "gpx/GpxOverlay.h"
#include "ui/OverlayPlot.h"
#include "ui/PixelSet.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace carteva {

class PictureView;
class ShownPixels;

// What is drawn over the picture, which itself is never changed: the red marks of the points and
// each GPX file's waypoints, tracks and routes, every file of the run in load order until
// ClearOverlays. Each is a set of pixels made once and shown by every paint; a change of the
// points rebuilds the sets, never the picture.
//
// Paint order follows what was drawn last, as it did when everything was painted into the
// picture: a file loaded after the marks covers them, until the marks are shown again.
class PictureLayers : public QObject
{
    Q_OBJECT
public:
    // Above this many waypoints and line points to map afresh, Follow shows the busy cursor.
    static constexpr std::size_t BusyAbove = 4000;

    // Becomes the view's layers.
    explicit PictureLayers(PictureView &view);
    ~PictureLayers() override;

    // The marks of these points, red plus signs of five pixels, on top. On an icon or metafile,
    // with at least one point, throws the view's Error and changes nothing.
    void ShowMarks(std::span<const TCalibPoint> points);

    // Keeps the file's overlay and maps it with this mapping, on top; onFirstUnmappable runs once
    // when some point cannot be mapped, with what was mapped before it shown. A floating-point
    // error of the mapping is rethrown, the pixels before it shown; drawing on an icon or
    // metafile throws the view's Error. The overlay is kept either way. Returns where its points
    // fell.
    OverlaySighting AddOverlay(GpxOverlay overlay, const MappingSetup &kind,
                    std::span<const TCalibPoint> points, bool lines,
                    const std::function<void()> &onFirstUnmappable);
    // Maps every file again where the mapping (or `lines`) differs from the one it was mapped
    // with, without warnings, in load order; the marks go on top. A floating-point error ends it
    // at that file, whose earlier pixels stay and whose later files show nothing, and is thrown.
    void Follow(const MappingSetup &kind, std::span<const TCalibPoint> points, bool lines);
    void ClearOverlays();
    std::size_t OverlayCount() const { return files_.size(); }

    // Paints every layer's pixels in the area, in paint order.
    void Paint(ShownPixels &shown) const;

    // For the benchmarks' reports: the pixels kept and their bytes.
    std::size_t PixelCount() const;
    std::size_t MemoryUsed() const;

private:
    struct File
    {
        GpxOverlay overlay;
        PixelSet pixels;
        std::uint64_t revision = 0; // of the mapping it was mapped with; 0: never
        bool lines = false;
    };

    // The mapping's revision: a new one whenever the kind or the points differ from the last.
    std::uint64_t Revision(const MappingSetup &kind, std::span<const TCalibPoint> points);
    OverlaySighting Map(File &file, const MappingSetup &kind, std::span<const TCalibPoint> points, bool lines,
             const std::function<void()> &onFirstUnmappable);

    PictureView &view_;
    PixelSet marks_;
    std::vector<File> files_;
    std::size_t marksAbove_ = 0; // the marks cover the files before this one
    MappingSetup kind_;
    std::vector<TCalibPoint> points_;
    std::uint64_t revision_ = 0;
};

} // namespace carteva
