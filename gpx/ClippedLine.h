// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/GeoToPixel.h"
#include "gpx/PixelBatch.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace carteva {

// Adds to `batch` the one-pixel line from `from` to `to`, both ends included, where it lies inside
// the width × height picture: along its longer axis one pixel a step, the other coordinate rounded
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
constexpr void StepMinor(std::int64_t &minor, std::int64_t &rest, std::int64_t rise,
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

// The pixels of the line between two pixels, both ends included but `from` when `skipFrom`:
// along its longer axis one pixel a step, from its lower end on that axis so that halves round
// the same way either way round, the other coordinate rounded (halves up) from the exact line.
// `emit(x, y)` takes each; nothing is clipped.
template<class Emit> constexpr void StepLine(Pixel from, Pixel to, bool skipFrom, Emit &&emit)
{
    const std::int64_t dx = to.X - from.X, dy = to.Y - from.Y;
    const bool swap = (dx < 0 ? -dx : dx) < (dy < 0 ? -dy : dy); // stepped along y
    std::int64_t major0 = swap ? from.Y : from.X, minor0 = swap ? from.X : from.Y;
    std::int64_t major1 = swap ? to.Y : to.X, minor1 = swap ? to.X : to.Y;
    bool skipLow = skipFrom, skipHigh = false;
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
        emit(swap ? minor : major, swap ? major : minor);
        StepMinor(minor, rest, rise, twoRun);
    }
}

// A short step's pixels as offsets from its start, the start first: a track's steps are
// mostly a few pixels, and stepping them costs more in mispredicted branches than in work.
struct ShortStep
{
    static constexpr int Reach = 7; // on either axis
    static constexpr int Side = 2 * Reach + 1;
    static constexpr int MaxPixels = Reach + 1;
    int Count;
    std::int8_t X[MaxPixels + 1]; // one to spare: slots are written whole, Count are kept
    std::int8_t Y[MaxPixels + 1];

    // A step's entry in the table; both offsets within Reach.
    static constexpr std::size_t Index(std::int64_t dx, std::int64_t dy)
    {
        return static_cast<std::size_t>((dy + Reach) * Side + dx + Reach);
    }
};

constexpr std::array<ShortStep, ShortStep::Side * ShortStep::Side> MakeShortSteps()
{
    std::array<ShortStep, ShortStep::Side * ShortStep::Side> table {};
    for (int dy = -ShortStep::Reach; dy <= ShortStep::Reach; ++dy) {
        for (int dx = -ShortStep::Reach; dx <= ShortStep::Reach; ++dx) {
            ShortStep &step = table[ShortStep::Index(dx, dy)];
            step.Count = 1; // the start, at (0, 0)
            StepLine({0, 0}, {dx, dy}, true, [&](std::int64_t x, std::int64_t y) {
                step.X[step.Count] = static_cast<std::int8_t>(x);
                step.Y[step.Count] = static_cast<std::int8_t>(y);
                ++step.Count;
            });
        }
    }
    return table;
}

inline constexpr std::array<ShortStep, ShortStep::Side * ShortStep::Side> ShortSteps
    = MakeShortSteps();

// DrawClippedLine's pixels when both ends lie inside the picture, and so every pixel between
// them, without the clipping arithmetic: a track's steps, one after another. With
// `fromPainted`, the pixel `from` is left out, the end of the step before. A short step is
// copied from its table entry, its slots written whole, with no branch that depends on it.
inline void DrawInsideLine(PixelBatch &batch, Pixel from, Pixel to, bool fromPainted)
{
    const std::int64_t dx = to.X - from.X, dy = to.Y - from.Y;
    if (dx < -ShortStep::Reach || dx > ShortStep::Reach || dy < -ShortStep::Reach
        || dy > ShortStep::Reach) {
        StepLine(from, to, fromPainted, [&](std::int64_t x, std::int64_t y) { batch.Add(x, y); });
        return;
    }
    const ShortStep &step = ShortSteps[ShortStep::Index(dx, dy)];
    const int first = fromPainted ? 1 : 0;
    const auto write = [&](Pixel *slots, auto slotCount) {
        for (int k = 0; k < slotCount(); ++k)
            slots[k] = {from.X + step.X[first + k], from.Y + step.Y[first + k]};
        return static_cast<std::size_t>(step.Count - first);
    };
    // The steps of one track are mostly alike, so this branch is seldom mispredicted; writing
    // the fewer slots makes the shortest steps cheaper still.
    constexpr int FewSlots = (ShortStep::MaxPixels + 1) / 2;
    batch.AddDirect(ShortStep::MaxPixels, [&](Pixel *slots) {
        if (step.Count - first <= FewSlots)
            return write(slots, std::integral_constant<int, FewSlots>());
        return write(slots, std::integral_constant<int, ShortStep::MaxPixels>());
    });
}

} // namespace carteva
