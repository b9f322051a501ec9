// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPoint>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace carteva {

// Picture pixels of one colour, kept row by row so that a paint visits only the rows in sight:
// a million waypoints take 4 bytes each, and the screen's share of them is found without
// looking at the rest. Repeats count once; the order they came in does not matter, as one colour
// painted twice looks the same.
class PixelSet
{
public:
    PixelSet() = default;
    // `pixels` lie inside a picture `height` rows high.
    PixelSet(std::span<const QPoint> pixels, int height);

    bool IsEmpty() const { return columns_.empty(); }
    std::size_t Count() const { return columns_.size(); }
    std::size_t MemoryUsed() const
    {
        return columns_.capacity() * sizeof(std::uint32_t)
            + rowStarts_.capacity() * sizeof(std::uint32_t);
    }

    // f(x, y) for each pixel inside `area`, row by row.
    template <typename F>
    void ForEachIn(const QRect &area, F &&f) const
    {
        if (IsEmpty() || area.isEmpty() || area.right() < 0)
            return;
        const int rows = int(rowStarts_.size()) - 1;
        const int top = std::max(area.top(), 0), bottom = std::min(area.bottom(), rows - 1);
        const std::uint32_t left = std::uint32_t(std::max(area.left(), 0));
        const std::uint32_t right = std::uint32_t(area.right());
        for (int y = top; y <= bottom; ++y) {
            const auto end = columns_.begin() + rowStarts_[std::size_t(y) + 1];
            for (auto x = std::lower_bound(columns_.begin() + rowStarts_[std::size_t(y)], end, left);
                 x != end && *x <= right; ++x)
                f(int(*x), y);
        }
    }

private:
    std::vector<std::uint32_t> columns_; // each row's, ascending, rows one after the other
    std::vector<std::uint32_t> rowStarts_; // where each row begins in columns_, and the end
};

} // namespace carteva
