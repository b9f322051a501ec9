// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/PaintedPixels.h"

#include "calibration/Errors.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace carteva {

namespace {

constexpr std::uint64_t kWordBits = 64;

std::uint32_t StoredBits(const QImage &image, int x, int y)
{
    if (image.depth() == 1)
        return std::uint32_t(image.pixelIndex(x, y));
    std::uint32_t bits = 0;
    const int bytes = image.depth() / 8;
    std::memcpy(&bits, image.constScanLine(y) + std::ptrdiff_t(x) * bytes, std::size_t(bytes));
    return bits;
}

void SetStoredBits(QImage &image, int x, int y, std::uint32_t bits)
{
    if (image.depth() == 1) {
        image.setPixel(x, y, bits);
        return;
    }
    const int bytes = image.depth() / 8;
    std::memcpy(image.scanLine(y) + std::ptrdiff_t(x) * bytes, &bits, std::size_t(bytes));
}

} // namespace

void PaintedPixels::Reset()
{
    keptBits_.reset();
    kept_ = {};
}

bool PaintedPixels::IsKept(std::uint64_t index) const
{
    return keptBits_ && (keptBits_[index / kWordBits] >> (index % kWordBits) & 1) != 0;
}

void PaintedPixels::Keep(const QImage &image, int x, int y)
{
    const std::uint64_t index = std::uint64_t(y) * std::uint64_t(image.width()) + std::uint64_t(x);
    if (IsKept(index))
        return;
    if (!keptBits_) {
        // Decoded bitmaps stay far below both limits; a picture beyond them is not drawn on rather
        // than restored wrongly.
        const std::uint64_t pixels = std::uint64_t(image.width()) * std::uint64_t(image.height());
        if (image.depth() > 32 || (image.depth() % 8 != 0 && image.depth() != 1)
            || pixels > std::uint64_t(UINT32_MAX) + 1)
            throw Error("This picture cannot be drawn on");
        const std::size_t words = std::size_t((pixels + kWordBits - 1) / kWordBits);
        keptBits_.reset(static_cast<std::uint64_t *>(std::calloc(words, sizeof(std::uint64_t))));
        if (!keptBits_)
            throw std::bad_alloc();
    }
    kept_.push_back({std::uint32_t(index), StoredBits(image, x, y)});
    keptBits_[index / kWordBits] |= std::uint64_t(1) << (index % kWordBits);
}

QRect PaintedPixels::Restore(QImage &image)
{
    if (kept_.empty())
        return {};
    const std::uint32_t width = std::uint32_t(image.width());
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (const Original &original : kept_) {
        const int x = int(original.index % width);
        const int y = int(original.index / width);
        SetStoredBits(image, x, y, original.bits);
        keptBits_[original.index / kWordBits]
            &= ~(std::uint64_t(1) << (original.index % kWordBits));
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    kept_.clear();
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace carteva
