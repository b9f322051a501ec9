// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/ShownPixels.h"

#include "picture/Picture.h"
#include "ui/PixelSet.h"

#include <numeric>
#include <utility>

namespace carteva {

ShownPixels::ShownPixels(QImage &image, const QRect &area, std::vector<int> columnStarts,
                         std::vector<int> rowStarts, const Picture &picture)
    : image_(image)
    , area_(area)
    , columnStarts_(std::move(columnStarts))
    , rowStarts_(std::move(rowStarts))
    , picture_(picture)
{ }

ShownPixels ShownPixels::OneToOne(QImage &image, const QRect &area, const Picture &picture)
{
    std::vector<int> columns(std::size_t(area.width()) + 1), rows(std::size_t(area.height()) + 1);
    std::iota(columns.begin(), columns.end(), 0);
    std::iota(rows.begin(), rows.end(), 0);
    return ShownPixels(image, area, std::move(columns), std::move(rows), picture);
}

std::vector<int> ShownPixels::Starts(std::span<const int> shown)
{
    if (shown.empty())
        return {0};
    const int first = shown.front(), last = shown.back();
    std::vector<int> starts(std::size_t(last - first) + 2);
    std::size_t i = 0;
    for (int pixel = first; pixel <= last + 1; ++pixel) {
        while (i < shown.size() && shown[i] < pixel)
            ++i;
        starts[std::size_t(pixel - first)] = int(i);
    }
    return starts;
}

void ShownPixels::Paint(const PixelSet &pixels, QRgb colour)
{
    QRgb shown = 0;
    uchar *bits = nullptr;
    qsizetype bytesPerLine = 0;
    const int left = area_.left(), top = area_.top();
    pixels.ForEachIn(area_, [&](int x, int y) {
        if (bits == nullptr) {
            shown = picture_.ShownColour(colour);
            const QImage::Format format = image_.format();
            if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32
                && format != QImage::Format_ARGB32_Premultiplied)
                image_.convertTo(image_.hasAlphaChannel() ? QImage::Format_ARGB32
                                                          : QImage::Format_RGB32);
            bits = image_.bits();
            bytesPerLine = image_.bytesPerLine();
        }
        // Zoomed out, most picture rows show on no image row: those are passed over first.
        const std::size_t row = std::size_t(y - top);
        const int firstRow = rowStarts_[row], endRow = rowStarts_[row + 1];
        if (firstRow == endRow)
            return;
        const std::size_t column = std::size_t(x - left);
        const int firstColumn = columnStarts_[column], endColumn = columnStarts_[column + 1];
        for (int r = firstRow; r < endRow; ++r) {
            auto *line = reinterpret_cast<QRgb *>(bits + r * bytesPerLine);
            for (int c = firstColumn; c < endColumn; ++c)
                line[c] = shown;
        }
    });
}

} // namespace carteva
