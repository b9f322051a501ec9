// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QImage>

#include <memory>
#include <span>

namespace carteva {

class MappedBitmap;

enum class PictureKind { None, Bitmap, Icon, Metafile };

// A loaded picture: what the view shows, and whether it can be drawn on (bitmaps only). Its
// pixels are an image in memory (icons, metafiles, the white bitmap made for drawing) or a
// bitmap file's own (MappedBitmap), read only where they are looked at: a scan of gigabytes costs
// what the screen shows. Read-only: marks and waypoints are drawn over it on screen, never into it.
class Picture
{
public:
    // Metafiles are rendered to pixels at their own size; larger ones are refused rather than
    // let exhaust memory.
    static constexpr qint64 MaxMetafilePixels = 8192LL * 8192LL;
    static constexpr int MaxMetafileSide = 32767;
    // The view zooms up to 16 times, and a widget's side ends at 2^24 - 1.
    static constexpr int MaxSide = 16777215 / 16;

    Picture();
    Picture(PictureKind kind, QImage image);
    explicit Picture(std::unique_ptr<MappedBitmap> bitmap);
    Picture(Picture &&) noexcept;
    Picture &operator=(Picture &&) noexcept;
    ~Picture();

    PictureKind Kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == PictureKind::None; }
    int Width() const;
    int Height() const;
    QSize Size() const { return {Width(), Height()}; }

    // The whole picture as one image: meant for small pictures (a bitmap file's is converted).
    QImage Image() const;
    QRgb Pixel(int x, int y) const;
    // The image whose pixel (i, j) is the picture's pixel (columns[i], rows[j]): any part of the
    // picture at any scale. Opaque RGB32 unless the picture has an alpha channel. Throws Error
    // once when a bitmap's file has been shortened since it was opened.
    QImage Sample(std::span<const int> columns, std::span<const int> rows) const;
    QImage Region(const QRect &area) const;
    // The whole picture sampled to `size`, each pixel the nearest: a first step to a preview.
    QImage Sampled(QSize size) const;

    // How a pixel painted `colour` on this picture shows: a palette bitmap's nearest entry, the
    // colour under a bitmap's bit masks, or the nearest the image's format holds.
    QRgb ShownColour(QRgb colour) const;

private:
    PictureKind kind_ = PictureKind::None;
    QImage image_;
    std::unique_ptr<MappedBitmap> bitmap_;
};

} // namespace carteva
