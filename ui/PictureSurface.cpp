// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PictureSurface.h"

#include "ui/PictureView.h"

namespace carteva {

bool PictureSurface::SetPixel(std::int64_t x, std::int64_t y, Colour colour)
{
    return view_.SetPixel(x, y, colour);
}

void PictureSurface::SetPixels(std::span<const Pixel> pixels, Colour colour)
{
    for (const Pixel &pixel : pixels)
        view_.SetPixel(pixel.X, pixel.Y, colour);
}

} // namespace carteva
