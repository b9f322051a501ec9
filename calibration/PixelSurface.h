// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/GeoToPixel.h"

#include <cstdint>
#include <span>

namespace carteva {

// 24-bit RGB with red in the lowest byte, green in the next, blue in the third.
using Colour = std::uint32_t;
constexpr Colour ColourRed = 0x0000FF;
constexpr Colour ColourOrange = 0x0080FF;

constexpr std::uint8_t RedOf(Colour c)
{
    return c & 0xFF;
}
constexpr std::uint8_t GreenOf(Colour c)
{
    return (c >> 8) & 0xFF;
}
constexpr std::uint8_t BlueOf(Colour c)
{
    return (c >> 16) & 0xFF;
}

// Something single pixels can be painted on. Pixels outside it are ignored without error; the
// result says whether the pixel was inside (and so painted).
class PixelSurface
{
public:
    virtual ~PixelSurface() = default;
    virtual bool SetPixel(std::int64_t x, std::int64_t y, Colour colour) = 0;
    // The same for each pixel in order. A line of a long track paints millions of pixels: a
    // surface that can write them in one loop spares a call through the table for each.
    virtual void SetPixels(std::span<const Pixel> pixels, Colour colour)
    {
        for (const Pixel &pixel : pixels)
            SetPixel(pixel.X, pixel.Y, colour);
    }
};

} // namespace carteva
