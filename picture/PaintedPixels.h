// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QRect>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace carteva {

// What the picture looked like under everything painted on it: the original value of each pixel,
// kept the first time it is painted, so that marks and waypoints can be taken off again. One bit
// per picture pixel says whether it is kept, and the kept values sit in a list, in the pixel's
// own stored form (a palette index on palette pictures), so putting them back is exact. A second
// copy of the picture would cost as much as the picture; this costs 1/32 of an RGB picture and
// 12 bytes a painted pixel.
class PaintedPixels
{
public:
    // Forgets every kept pixel: a new picture.
    void Reset();

    // Keeps `stored`, the value of pixel (x, y) of a picture of `size`, unless the pixel is kept
    // already; call it before painting the pixel. The size stays the same until the next Reset.
    // Throws Error("This picture cannot be drawn on") when there is no memory for the bits.
    void Keep(QSize size, int x, int y, std::uint32_t stored);

    // Hands every kept pixel to put(x, y, stored) and forgets it; the rectangle that holds them
    // (empty when there were none).
    QRect Restore(const std::function<void(int, int, std::uint32_t)> &put);

    std::size_t Count() const { return kept_.size(); }

private:
    struct Original
    {
        std::uint32_t x;
        std::uint32_t y;
        std::uint32_t bits; // the stored pixel: at most 32 bits
    };
    struct Free
    {
        void operator()(void *p) const { std::free(p); }
    };

    // Allocated zeroed by the system at the first pixel kept: pages of a large picture's bits
    // that no painting reaches never become resident.
    std::unique_ptr<std::uint64_t[], Free> keptBits_;
    std::uint64_t width_ = 0;
    std::vector<Original> kept_;
};

} // namespace carteva
