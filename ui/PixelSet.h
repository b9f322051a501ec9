// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPoint>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace carteva {

// Picture pixels of one colour, kept in bands of rows so that a paint visits only the bands in
// sight: of a million waypoints over an A0 sheet, a screen at one to one looks at a few percent.
// Within a band they stay in the order they came; a pixel given twice is painted twice, which
// looks the same.
class PixelSet
{
public:
    // 64 rows a band. Building a million pixels spread over an A0 sheet took 6.4 to 7.6 ms with
    // these and 9.4 ms with 256-row bands; a 1:1 screen's filtering took 0.05 ms either way.
    static constexpr int BandShift = 6;

    PixelSet() = default;
    // `pixels` lie inside a picture `height` rows high.
    PixelSet(std::span<const QPoint> pixels, int height);

    bool IsEmpty() const { return count_ == 0; }
    std::size_t Count() const { return count_; }
    std::size_t MemoryUsed() const
    {
        return count_ * sizeof(Spot) + bandStarts_.capacity() * sizeof(std::uint32_t);
    }

    // f(x, y) for each pixel inside `area`.
    template <typename F>
    void ForEachIn(const QRect &area, F &&f) const
    {
        if (IsEmpty() || area.isEmpty() || area.bottom() < 0)
            return;
        const int bands = int(bandStarts_.size()) - 1;
        const int first = std::max(area.top(), 0) >> BandShift;
        const int last = std::min(area.bottom() >> BandShift, bands - 1);
        const int left = area.left(), right = area.right(), top = area.top(),
                  bottom = area.bottom();
        for (int band = first; band <= last; ++band) {
            const Spot *p = pixels_.get() + bandStarts_[std::size_t(band)];
            const Spot *end = pixels_.get() + bandStarts_[std::size_t(band) + 1];
            for (; p != end; ++p) {
                const int x = p->x, y = p->y;
                if (x >= left && x <= right && y >= top && y <= bottom)
                    f(x, y);
            }
        }
    }

private:
    // Trivial, so that the storage is not cleared before every element is written.
    struct Spot
    {
        int x;
        int y;
    };

    std::unique_ptr<Spot[]> pixels_; // band after band
    std::size_t count_ = 0;
    std::vector<std::uint32_t> bandStarts_; // where each band begins in pixels_, and the end
};

} // namespace carteva
