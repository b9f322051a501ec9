// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/PaintedPixels.h"

#include "calibration/Errors.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace carteva {

namespace {

constexpr std::uint64_t kWordBits = 64;

} // namespace

void PaintedPixels::Reset()
{
    keptBits_.reset();
    kept_ = {};
}

void PaintedPixels::Keep(QSize size, int x, int y, std::uint32_t stored)
{
    if (!keptBits_) {
        width_ = std::uint64_t(size.width());
        const std::uint64_t pixels = width_ * std::uint64_t(size.height());
        const std::size_t words = std::size_t((pixels + kWordBits - 1) / kWordBits);
        keptBits_.reset(static_cast<std::uint64_t *>(std::calloc(words, sizeof(std::uint64_t))));
        if (!keptBits_)
            throw Error("This picture cannot be drawn on");
    }
    const std::uint64_t index = std::uint64_t(y) * width_ + std::uint64_t(x);
    std::uint64_t &word = keptBits_[index / kWordBits];
    const std::uint64_t bit = std::uint64_t(1) << (index % kWordBits);
    if ((word & bit) != 0)
        return;
    kept_.push_back({std::uint32_t(x), std::uint32_t(y), stored});
    word |= bit;
}

QRect PaintedPixels::Restore(const std::function<void(int, int, std::uint32_t)> &put)
{
    if (kept_.empty())
        return {};
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (const Original &original : kept_) {
        const int x = int(original.x);
        const int y = int(original.y);
        put(x, y, original.bits);
        const std::uint64_t index = std::uint64_t(y) * width_ + std::uint64_t(x);
        keptBits_[index / kWordBits] &= ~(std::uint64_t(1) << (index % kWordBits));
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    kept_.clear();
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace carteva
