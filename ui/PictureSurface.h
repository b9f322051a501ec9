// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/PixelSurface.h"

namespace carteva {

class PictureView;

// Lets the model paint on the picture view: each pixel goes to PictureView::SetPixel, so the
// first one asks for the drawing surface (and fails on an icon or metafile).
class PictureSurface : public PixelSurface
{
public:
    explicit PictureSurface(PictureView &view)
        : view_(view)
    { }

    bool SetPixel(std::int64_t x, std::int64_t y, Colour colour) override;
    void SetPixels(std::span<const Pixel> pixels, Colour colour) override;

private:
    PictureView &view_;
};

} // namespace carteva
