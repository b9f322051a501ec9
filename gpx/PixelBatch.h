// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/GeoToPixel.h"
#include "calibration/PixelSurface.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace carteva {

// Pixels of one colour gathered for a surface, and handed to it a few hundred at a time, in
// order. A fixed array: painting allocates nothing.
class PixelBatch
{
public:
    PixelBatch(PixelSurface &surface, Colour colour)
        : surface_(surface)
        , colour_(colour)
    { }
    ~PixelBatch() = default; // unflushed pixels are dropped: after an exception, nothing more
    PixelBatch(const PixelBatch &) = delete;
    PixelBatch &operator=(const PixelBatch &) = delete;

    void Add(std::int64_t x, std::int64_t y)
    {
        if (size_ == pixels_.size())
            Flush();
        pixels_[size_++] = {x, y};
    }
    void Flush()
    {
        const std::size_t size = size_;
        size_ = 0;
        if (size > 0)
            surface_.SetPixels(std::span<const Pixel>(pixels_.data(), size), colour_);
    }

private:
    PixelSurface &surface_;
    Colour colour_;
    std::size_t size_ = 0;
    std::array<Pixel, 512> pixels_;
};

} // namespace carteva
