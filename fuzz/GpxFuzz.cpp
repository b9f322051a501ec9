// SPDX-License-Identifier: GPL-2.0-or-later
// The GPX loader and the overlay on any bytes: a file either loads or fails with Error, nothing
// outside the file is read, and the waypoints of whatever loaded are drawn.
#include "FuzzInput.h"

#include "calibration/Errors.h"
#include "gpx/GpxLoader.h"
#include "gpx/GpxOverlay.h"
#include "ui/OverlayPlot.h"

#include <optional>
#include <vector>

using namespace carteva;

namespace {

// Whether the loader told of a root element.
class RootSeen : public NodeObserver
{
public:
    void Node(GpxNodeKind, std::string_view, std::string_view) override { seen = true; }
    void Attribute(std::string_view, std::string_view, std::string_view) override { }
    void Text(std::string_view) override { }
    bool seen = false;
};

std::vector<TCalibPoint> Calibration()
{
    std::vector<TCalibPoint> points(3);
    points[0] = {10, 10, 51.5L, -0.2L};
    points[1] = {390, 290, 51.4L, 0.1L};
    points[2] = {200, 20, 51.49L, -0.05L};
    return points;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string path = fuzz::WriteInputFile("gpx", data, size);
    GpxLoader loader;
    // Tracks and routes are read too; the waypoints do not depend on it.
    loader.CollectLines(true);
    RootSeen root;
    loader.Observe(&root);
    std::optional<GpxOverlay> overlay;
    try {
        overlay.emplace(loader.Load(path));
    } catch (const Error &) {
        return 0;
    }
    if (!root.seen)
        fuzz::Broken("a document without a root element loaded");

    static const std::vector<TCalibPoint> points = Calibration();
    std::size_t painted = 0;
    const auto count = [&](std::span<const Pixel> pixels) {
        for (const Pixel &pixel : pixels)
            painted += pixel.X >= 0 && pixel.Y >= 0 && pixel.X < 400 && pixel.Y < 300;
    };
    try {
        const WaypointCounts counts
            = OverlayPlot::Plot(*overlay, MappingKind::TwoNearest, points, false, 400, 300, count);
        if (counts.Painted != painted)
            fuzz::Broken("painted count differs from the pixels painted");
        OverlayPlot::Plot(*overlay, MappingKind::TwoNearest, points, true, 400, 300, count);
    } catch (const EInvalidOp &) {
    } catch (const EZeroDivide &) {
    } catch (const EOverflow &) { }
    return 0;
}
