// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/Picture.h"

#include "calibration/Errors.h"
#include "picture/BitmapLayout.h"
#include "picture/MappedBitmap.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

namespace carteva {

namespace {

std::uint32_t StoredBits(const QImage &image, int x, int y)
{
    if (image.depth() == 1)
        return std::uint32_t(image.pixelIndex(x, y));
    if (image.depth() > 32 || image.depth() % 8 != 0)
        throw Error("This picture cannot be drawn on");
    // A copy of a length known only when running is a call to the C library: painting and taking
    // off a million pixels of an RGB picture took 490 ms of CPU with it, 400 without.
    if (image.depth() == 32)
        return reinterpret_cast<const std::uint32_t *>(image.constScanLine(y))[x];
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
    if (image.depth() == 32) {
        reinterpret_cast<std::uint32_t *>(image.scanLine(y))[x] = bits;
        return;
    }
    const int bytes = image.depth() / 8;
    std::memcpy(image.scanLine(y) + std::ptrdiff_t(x) * bytes, &bits, std::size_t(bytes));
}

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

bool Picture::SetPixel(int x, int y, QRgb colour)
{
    if (kind_ != PictureKind::Bitmap)
        throw Error("Can only modify an image if it contains a bitmap");
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return false;
    if (bitmap_) {
        const BitmapLayout &layout = bitmap_->Layout();
        uchar *row = bitmap_->Row(y);
        painted_.Keep(Size(), x, y, layout.Stored(row, x));
        layout.SetStored(row, x, layout.Nearest(colour));
    } else {
        painted_.Keep(Size(), x, y, StoredBits(image_, x, y));
        PaintImagePixel(image_, x, y, colour);
    }
    return true;
}

QRect Picture::RestoreOriginalPixels()
{
    if (bitmap_) {
        const BitmapLayout &layout = bitmap_->Layout();
        return painted_.Restore([&](int x, int y, std::uint32_t stored) {
            layout.SetStored(bitmap_->Row(y), x, stored);
        });
    }
    return painted_.Restore(
        [this](int x, int y, std::uint32_t stored) { SetStoredBits(image_, x, y, stored); });
}

} // namespace carteva
