// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QImage>
#include <QRect>

#include <span>
#include <vector>

namespace carteva {

class Picture;
class PixelSet;

// The image a paint is about to show, made from the picture pixels of `Area()`, as the layers'
// target: each layer pixel takes over exactly the image pixels its picture pixel fills, at any
// zoom and device-pixel ratio, so that a mark on screen covers what it would cover painted into
// the picture.
class ShownPixels
{
public:
    // Picture column area.left() + c fills image columns [columnStarts[c], columnStarts[c + 1]),
    // rows likewise.
    ShownPixels(QImage &image, const QRect &area, std::vector<int> columnStarts,
                std::vector<int> rowStarts, const Picture &picture);
    // The image shows `area` one image pixel to one picture pixel.
    static ShownPixels OneToOne(QImage &image, const QRect &area, const Picture &picture);
    // Where each picture pixel of the run `shown` (nondecreasing, one entry per image column or
    // row) starts: the starts ShownPixels takes, from shown.front() to shown.back().
    static std::vector<int> Starts(std::span<const int> shown);

    const QRect &Area() const { return area_; }
    // Paints the pixels of the set in the area `colour`, as the picture shows that colour.
    void Paint(const PixelSet &pixels, QRgb colour);

private:
    QImage &image_;
    QRect area_;
    std::vector<int> columnStarts_;
    std::vector<int> rowStarts_;
    const Picture &picture_;
};

} // namespace carteva
