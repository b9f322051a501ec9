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
    bool first = true;
    QRgb shown = 0;
    pixels.ForEachIn(area_, [&](int x, int y) {
        if (first) {
            first = false;
            shown = picture_.ShownColour(colour);
            const QImage::Format format = image_.format();
            if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32
                && format != QImage::Format_ARGB32_Premultiplied)
                image_.convertTo(image_.hasAlphaChannel() ? QImage::Format_ARGB32
                                                          : QImage::Format_RGB32);
        }
        const std::size_t column = std::size_t(x - area_.left()), row = std::size_t(y - area_.top());
        for (int r = rowStarts_[row]; r < rowStarts_[row + 1]; ++r) {
            auto *line = reinterpret_cast<QRgb *>(image_.scanLine(r));
            for (int c = columnStarts_[column]; c < columnStarts_[column + 1]; ++c)
                line[c] = shown;
        }
    });
}

} // namespace carteva
