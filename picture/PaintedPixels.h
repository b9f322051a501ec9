// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QImage>
#include <QRect>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace carteva {

// What the picture looked like under everything painted on it: the original value of each pixel,
// kept the first time it is painted, so that marks and waypoints can be taken off again. One bit
// per picture pixel says whether it is kept, and the kept values sit in a list, in the pixel's
// own stored form (a palette index on palette pictures), so putting them back is exact. A second
// copy of the picture would cost as much as the picture; this costs 1/32 of an RGB picture and
// 8 bytes a painted pixel.
class PaintedPixels
{
public:
    // Forgets every kept pixel: a new picture.
    void Reset();

    // Keeps the value of pixel (x, y) of the image, unless it is kept already; call it before
    // painting the pixel. The pixel must lie on the image, whose size and format stay the same
    // until the next Reset.
    void Keep(const QImage &image, int x, int y);

    // Puts every kept pixel back into the image and forgets it; the rectangle that holds them
    // (empty when there were none).
    QRect Restore(QImage &image);

    std::size_t Count() const { return kept_.size(); }

private:
    struct Original
    {
        std::uint32_t index; // y * width + x
        std::uint32_t bits; // the stored pixel: depth bits, at most 32
    };
    struct Free
    {
        void operator()(void *p) const { std::free(p); }
    };

    bool IsKept(std::uint64_t index) const;

    // Allocated zeroed by the system at the first pixel kept: pages of a large picture's bits
    // that no painting reaches never become resident.
    std::unique_ptr<std::uint64_t[], Free> keptBits_;
    std::vector<Original> kept_;
};

} // namespace carteva
