// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/PixelSurface.h"

namespace carteva {

void DrawPointMarks(std::span<const TCalibPoint> points, PixelSurface &surface)
{
    for (const TCalibPoint &point : points) {
        // 64-bit, so the arms of a point at the edge of the int32 range do not wrap around.
        const std::int64_t x = point.X;
        const std::int64_t y = point.Y;
        surface.SetPixel(x, y, ColourRed);
        surface.SetPixel(x + 1, y, ColourRed);
        surface.SetPixel(x - 1, y, ColourRed);
        surface.SetPixel(x, y + 1, ColourRed);
        surface.SetPixel(x, y - 1, ColourRed);
    }
}

} // namespace carteva
