// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/Picture.h"

#include "picture/BitmapLayout.h"
#include "picture/MappedBitmap.h"

#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

namespace carteva {

namespace {

void PaintImagePixel(QImage &image, int x, int y, QRgb rgb)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        reinterpret_cast<QRgb *>(image.scanLine(y))[x] = rgb;
        break;
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        // setPixel takes a palette index on these formats; an RGB value would be ignored.
        image.setPixel(x, y, BitmapLayout::NearestEntry(image.colorTable(), rgb));
        break;
    default:
        image.setPixelColor(x, y, QColor(rgb));
        break;
    }
}

std::vector<int> Run(int first, int count)
{
    std::vector<int> run(std::size_t(std::max(count, 0)));
    std::iota(run.begin(), run.end(), first);
    return run;
}

// Each of `count` positions over `length` pixels: the pixel under its centre.
std::vector<int> Spread(int length, int count)
{
    std::vector<int> spread(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        spread[std::size_t(i)] = int((2 * qint64(i) + 1) * length / (2 * qint64(count)));
    return spread;
}

} // namespace

Picture::Picture() = default;
Picture::Picture(Picture &&) noexcept = default;
Picture &Picture::operator=(Picture &&) noexcept = default;
Picture::~Picture() = default;

Picture::Picture(PictureKind kind, QImage image)
    : kind_(kind)
    , image_(std::move(image))
{ }

Picture::Picture(std::unique_ptr<MappedBitmap> bitmap)
    : kind_(PictureKind::Bitmap)
    , bitmap_(std::move(bitmap))
{ }

int Picture::Width() const
{
    return bitmap_ ? bitmap_->Width() : image_.width();
}

int Picture::Height() const
{
    return bitmap_ ? bitmap_->Height() : image_.height();
}

QImage Picture::Image() const
{
    if (!bitmap_)
        return image_;
    QImage image = Sample(Run(0, Width()), Run(0, Height()));
    image.setDotsPerMeterX(bitmap_->DotsPerMeterX());
    image.setDotsPerMeterY(bitmap_->DotsPerMeterY());
    return image;
}

QRgb Picture::Pixel(int x, int y) const
{
    if (!bitmap_)
        return image_.pixel(x, y);
    const BitmapLayout &layout = bitmap_->Layout();
    const QRgb colour = layout.Colour(layout.Stored(bitmap_->Row(y), x));
    bitmap_->CheckFile();
    return colour;
}

QImage Picture::Sample(std::span<const int> columns, std::span<const int> rows) const
{
    const bool alpha = !bitmap_ && image_.hasAlphaChannel();
    QImage shown(int(columns.size()), int(rows.size()),
                 alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const bool direct
        = image_.format() == QImage::Format_RGB32 || image_.format() == QImage::Format_ARGB32;
    for (std::size_t y = 0; y < rows.size(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(shown.scanLine(int(y)));
        const int row = rows[y];
        if (y > 0 && row == rows[y - 1]) {
            // Zoomed in, many rows show the same picture row.
            std::copy_n(reinterpret_cast<const QRgb *>(shown.constScanLine(int(y) - 1)),
                        columns.size(), line);
        } else if (bitmap_) {
            bitmap_->Layout().ToRgb(bitmap_->Row(row), columns, line);
        } else if (direct) {
            const auto *source = reinterpret_cast<const QRgb *>(image_.constScanLine(row));
            for (const int x : columns)
                *line++ = source[x];
        } else {
            for (const int x : columns)
                *line++ = image_.pixel(x, row);
        }
    }
    if (bitmap_)
        bitmap_->CheckFile();
    return shown;
}

QImage Picture::Region(const QRect &area) const
{
    if (!bitmap_)
        return image_.copy(area);
    const QRect inside = area & QRect(QPoint(0, 0), Size());
    return Sample(Run(inside.left(), inside.width()), Run(inside.top(), inside.height()));
}

QImage Picture::Sampled(QSize size) const
{
    if (IsEmpty() || Width() == 0 || Height() == 0 || size.isEmpty())
        return QImage();
    return Sample(Spread(Width(), size.width()), Spread(Height(), size.height()));
}

QRgb Picture::ShownColour(QRgb colour) const
{
    if (bitmap_) {
        const BitmapLayout &layout = bitmap_->Layout();
        return layout.Colour(layout.Nearest(colour));
    }
    // One pixel of the same format and palette, painted as the picture's own would be.
    QImage one(1, 1, image_.format());
    one.setColorTable(image_.colorTable());
    PaintImagePixel(one, 0, 0, colour);
    return one.pixel(0, 0);
}

} // namespace carteva
