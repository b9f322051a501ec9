// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/Picture.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace carteva {

// What a picture's file says about it without its pixels: enough to describe the picture to other
// map tools.
struct PictureHeader
{
    PictureKind Kind = PictureKind::None;
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Palette; // 0xAARRGGBB of a palette bitmap; empty for colour pixels

    // A bitmap's headers are read and checked against the file's size, as loading it would, but
    // its pixels are not decoded; icons and metafiles are loaded. Throws Error with LoadPicture's
    // messages.
    static PictureHeader Read(const std::filesystem::path &path);
};

} // namespace carteva
