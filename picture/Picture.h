// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QImage>

namespace carteva {

enum class PictureKind { None, Bitmap, Icon, Metafile };

// A loaded picture: what the view shows, and whether it can be drawn on (bitmaps only).
class Picture
{
public:
    // Metafiles are rendered to pixels at their own size; larger ones are refused rather than
    // let exhaust memory.
    static constexpr qint64 MaxMetafilePixels = 8192LL * 8192LL;
    static constexpr int MaxMetafileSide = 32767;

    Picture() = default;
    Picture(PictureKind kind, QImage image);

    PictureKind Kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == PictureKind::None; }
    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    const QImage &Image() const { return image_; }

    // The pixels of a bitmap, to draw on; any other kind throws
    // Error("Can only modify an image if it contains a bitmap").
    QImage &BitmapImage();

private:
    PictureKind kind_ = PictureKind::None;
    QImage image_;
};

} // namespace carteva
