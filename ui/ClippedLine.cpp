// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/ClippedLine.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace carteva {

namespace {

// Ends within this much of the origin are exact; their differences and products fit 128 bits.
constexpr std::int64_t ExactRange = std::int64_t(1) << 31;

bool Near(const Pixel &p)
{
    return p.X > -ExactRange && p.X < ExactRange && p.Y > -ExactRange && p.Y < ExactRange;
}

// Cuts the segment to the box [low, high] on both axes (Liang–Barsky), in 80-bit arithmetic,
// which holds every 64-bit coordinate exactly; false when it misses the box.
bool CutToBox(Pixel &from, Pixel &to, long double lowX, long double highX, long double lowY,
              long double highY)
{
    const long double x0 = from.X, y0 = from.Y;
    const long double dx = static_cast<long double>(to.X) - x0;
    const long double dy = static_cast<long double>(to.Y) - y0;
    long double t0 = 0, t1 = 1;
    const auto edge = [&](long double p, long double q) {
        if (p == 0)
            return q >= 0;
        const long double t = q / p;
        if (p < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        return t0 <= t1;
    };
    if (!edge(-dx, x0 - lowX) || !edge(dx, highX - x0) || !edge(-dy, y0 - lowY)
        || !edge(dy, highY - y0))
        return false;
    const Pixel cutFrom {std::llround(x0 + t0 * dx), std::llround(y0 + t0 * dy)};
    const Pixel cutTo {std::llround(x0 + t1 * dx), std::llround(y0 + t1 * dy)};
    from = cutFrom;
    to = cutTo;
    return true;
}

// The minor axis's share of one step along the major axis: `rest` counts in halves of a run.
void StepMinor(std::int64_t &minor, std::int64_t &rest, std::int64_t rise, std::int64_t twoRun)
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

// The line stepped along its major axis, the first end left out when `skip0`; `swap` paints
// (minor, major) as (x, y).
void Step(PixelBatch &batch, std::int64_t major0, std::int64_t minor0, std::int64_t major1,
          std::int64_t minor1, std::int64_t majorSize, std::int64_t minorSize, bool swap,
          bool skip0)
{
    bool skip1 = false;
    if (major1 < major0) {
        std::swap(major0, major1);
        std::swap(minor0, minor1);
        std::swap(skip0, skip1);
    }
    const std::int64_t run = major1 - major0; // >= |rise|, both below 2^33
    const std::int64_t rise = minor1 - minor0;
    // Steps t in [first, last] whose major coordinate is inside the picture.
    std::int64_t first = std::max<std::int64_t>(skip0 ? 1 : 0, -major0);
    std::int64_t last = std::min(skip1 ? run - 1 : run, majorSize - 1 - major0);
    const bool minorInside = std::min(minor0, minor1) >= 0 && std::max(minor0, minor1) < minorSize;
    if (run > 0 && rise != 0 && !minorInside) {
        // And whose minor coordinate may be: the exact line within [-1, minorSize], a step
        // either side.
        const long double slope = static_cast<long double>(rise) / run;
        long double a = (-1 - minor0) / slope, b = (minorSize - minor0) / slope;
        if (a > b)
            std::swap(a, b);
        a = std::clamp(a, -2.0L, run + 2.0L);
        b = std::clamp(b, -2.0L, run + 2.0L);
        first = std::max(first, static_cast<std::int64_t>(std::floor(a)) - 1);
        last = std::min(last, static_cast<std::int64_t>(std::ceil(b)) + 1);
    }
    if (first > last)
        return;
    // minor(t) = minor0 + floor((2 t rise + run) / (2 run)), kept as quotient and remainder.
    const std::int64_t twoRun = 2 * std::max<std::int64_t>(run, 1);
    std::int64_t minor = minor0, rest = run; // at t = 0
    if (first == 1) {
        // A track's step leaving out its start: one step on, without a 128-bit division.
        StepMinor(minor, rest, rise, twoRun);
    } else if (first > 1) {
        const __int128 start = static_cast<__int128>(2) * first * rise + run;
        __int128 quotient = start / twoRun, remainder = start % twoRun;
        if (remainder < 0) {
            remainder += twoRun;
            --quotient;
        }
        minor = minor0 + static_cast<std::int64_t>(quotient);
        rest = static_cast<std::int64_t>(remainder);
    }
    for (std::int64_t t = first; t <= last; ++t) {
        const std::int64_t major = major0 + t;
        if (minor >= 0 && minor < minorSize)
            batch.Add(swap ? minor : major, swap ? major : minor);
        StepMinor(minor, rest, rise, twoRun);
    }
}

} // namespace

void DrawClippedLine(PixelBatch &batch, Pixel from, Pixel to, std::int64_t width,
                     std::int64_t height, bool skipFrom)
{
    if (width <= 0 || height <= 0)
        return;
    if (!Near(from) || !Near(to)) {
        // A pixel either side of the picture keeps the cut line's slope where it crosses it;
        // an end inside stays where it is, so skipping `from` still means that pixel.
        if (!CutToBox(from, to, -2, static_cast<long double>(width) + 1, -2,
                      static_cast<long double>(height) + 1))
            return;
    }
    const std::int64_t dx = to.X - from.X, dy = to.Y - from.Y;
    if ((dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy))
        Step(batch, from.X, from.Y, to.X, to.Y, width, height, false, skipFrom);
    else
        Step(batch, from.Y, from.X, to.Y, to.X, height, width, true, skipFrom);
}

} // namespace carteva
