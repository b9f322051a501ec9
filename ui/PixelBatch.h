// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/GeoToPixel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <utility>

namespace carteva {

// Pixels of a line gathered and handed on a few hundred at a time, in order: a line of a long
// track makes millions of pixels, and a call for each would cost more than stepping them. A fixed
// array: stepping allocates nothing.
class PixelBatch
{
public:
    using Take = std::function<void(std::span<const Pixel>)>;

    explicit PixelBatch(Take take)
        : take_(std::move(take))
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
            take_(std::span<const Pixel>(pixels_.data(), size));
    }

private:
    Take take_;
    std::size_t size_ = 0;
    std::array<Pixel, 512> pixels_;
};

} // namespace carteva
