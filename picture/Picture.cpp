// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/Picture.h"

#include "calibration/Errors.h"

#include <utility>

namespace carteva {

Picture::Picture(PictureKind kind, QImage image)
    : kind_(kind)
    , image_(std::move(image))
{ }

QImage &Picture::BitmapImage()
{
    if (kind_ != PictureKind::Bitmap)
        throw Error("Can only modify an image if it contains a bitmap");
    return image_;
}

} // namespace carteva
