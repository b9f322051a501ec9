// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PixelSet.h"

#include <algorithm>
#include <numeric>

namespace carteva {

PixelSet::PixelSet(std::span<const QPoint> pixels, int height)
{
    if (pixels.empty() || height <= 0)
        return;
    // Placed by row in two passes and each row sorted on its own: a million pixels in a fraction
    // of what sorting them all takes.
    rowStarts_.assign(std::size_t(height) + 1, 0);
    for (const QPoint &pixel : pixels)
        ++rowStarts_[std::size_t(pixel.y()) + 1];
    std::partial_sum(rowStarts_.begin(), rowStarts_.end(), rowStarts_.begin());
    columns_.resize(pixels.size());
    {
        std::vector<std::uint32_t> next(rowStarts_.begin(), rowStarts_.end() - 1);
        for (const QPoint &pixel : pixels)
            columns_[next[std::size_t(pixel.y())]++] = std::uint32_t(pixel.x());
    }
    std::uint32_t kept = 0;
    std::uint32_t begin = 0;
    for (std::size_t y = 0; y < std::size_t(height); ++y) {
        const std::uint32_t end = rowStarts_[y + 1];
        std::sort(columns_.begin() + begin, columns_.begin() + end);
        rowStarts_[y] = kept;
        for (std::uint32_t i = begin; i < end; ++i) {
            const std::uint32_t x = columns_[i];
            if (rowStarts_[y] == kept || columns_[kept - 1] != x)
                columns_[kept++] = x;
        }
        begin = end;
    }
    rowStarts_[std::size_t(height)] = kept;
    columns_.resize(kept);
    columns_.shrink_to_fit();
}

} // namespace carteva
