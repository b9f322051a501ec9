// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/GeoToPixel.h"
#include "gpx/PixelBatch.h"

#include <cstdint>
#include <utility>

namespace carteva {

// Adds to `batch` the one-pixel line from `from` to `to`, both ends included, where it lies inside the
// width × height picture: along its longer axis one pixel a step, the other coordinate rounded
// (halves up) from the exact line. Ends far outside, anywhere in the 64-bit range, are first
// cut back to the picture's neighbourhood, so nothing overflows and the work stays within the
// picture's size.
void DrawClippedLine(PixelBatch &batch, Pixel from, Pixel to, std::int64_t width,
                     std::int64_t height);

inline bool InsidePicture(const Pixel &p, std::int64_t width, std::int64_t height)
{
    return p.X >= 0 && p.X < width && p.Y >= 0 && p.Y < height;
}

// The minor axis's share of one step along the major axis: `rest` counts in halves of a run.
inline void StepMinor(std::int64_t &minor, std::int64_t &rest, std::int64_t rise,
                      std::int64_t twoRun)
{
    rest += 2 * rise;
    if (rest >= twoRun) {
        rest -= twoRun;
        ++minor;
    } else if (rest < 0) {
        rest += twoRun;
        --minor;
    }
}

// DrawClippedLine's pixels when both ends lie inside the picture, and so every pixel between
// them, without the clipping arithmetic: a track's short steps, one after another. With
// `fromPainted`, the pixel `from` is left out, the end of the step before. Inline, as the
// calls would cost a third of such a step.
inline void DrawInsideLine(PixelBatch &batch, Pixel from, Pixel to, bool fromPainted)
{
    const std::int64_t dx = to.X - from.X, dy = to.Y - from.Y;
    const bool swap = (dx < 0 ? -dx : dx) < (dy < 0 ? -dy : dy); // stepped along y
    std::int64_t major0 = swap ? from.Y : from.X, minor0 = swap ? from.X : from.Y;
    std::int64_t major1 = swap ? to.Y : to.X, minor1 = swap ? to.X : to.Y;
    // Stepped from the lower major end, so that halves round the same way either way round.
    bool skipLow = fromPainted, skipHigh = false;
    if (major1 < major0) {
        std::swap(major0, major1);
        std::swap(minor0, minor1);
        std::swap(skipLow, skipHigh);
    }
    const std::int64_t run = major1 - major0;
    const std::int64_t rise = minor1 - minor0;
    const std::int64_t twoRun = 2 * (run > 0 ? run : 1);
    std::int64_t minor = minor0;
    std::int64_t rest = run;
    std::int64_t major = major0;
    if (skipLow) {
        StepMinor(minor, rest, rise, twoRun);
        ++major;
    }
    const std::int64_t last = skipHigh ? major1 - 1 : major1;
    for (; major <= last; ++major) {
        batch.Add(swap ? minor : major, swap ? major : minor);
        StepMinor(minor, rest, rise, twoRun);
    }
}

} // namespace carteva
