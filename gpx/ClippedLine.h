// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/GeoToPixel.h"
#include "gpx/PixelBatch.h"

#include <cstdint>

namespace carteva {

// Adds to `batch` the one-pixel line from `from` to `to`, both ends included, where it lies inside the
// width × height picture: along its longer axis one pixel a step, the other coordinate rounded
// (halves up) from the exact line. Ends far outside, anywhere in the 64-bit range, are first
// cut back to the picture's neighbourhood, so nothing overflows and the work stays within the
// picture's size.
void DrawClippedLine(PixelBatch &batch, Pixel from, Pixel to, std::int64_t width,
                     std::int64_t height);

} // namespace carteva
