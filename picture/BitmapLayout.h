// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QRgb>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace carteva {

class BmpHeaderCheck;

// How a bitmap's stored pixels show: palette indices, or red, green and blue under bit masks.
// Bitmaps are shown opaque; an alpha channel is ignored. A channel of fewer than 8 bits is widened
// by repeating its bits below it, so that a 5-bit white shows as 255.
class BitmapLayout
{
public:
    // file: the whole file, which the check has vouched for. storedBits: the bits of each pixel
    // in the rows read (8 for the decoded rows of a run-length file).
    BitmapLayout(const BmpHeaderCheck &check, const uchar *file, int storedBits);

    int StoredBits() const { return bits_; }
    std::uint32_t Stored(const uchar *row, int x) const;
    QRgb Colour(std::uint32_t stored) const;
    // What to store for a colour: a palette's nearest entry (the first of equals), or the colour
    // under the masks.
    std::uint32_t Nearest(QRgb colour) const;
    // The index of the palette entry nearest to the colour, by distance in RGB; the first of
    // equals wins, 0 for an empty palette.
    static std::uint32_t NearestEntry(std::span<const QRgb> palette, QRgb colour);
    // The colours of the row's pixels at `columns`, into `out`.
    void ToRgb(const uchar *row, std::span<const int> columns, QRgb *out) const;

private:
    struct Channel
    {
        std::uint32_t Mask = 0;
        int Shift = 0;
        int Bits = 0;
        std::array<uchar, 256> Widened {};
    };

    int bits_;
    std::vector<QRgb> palette_; // the file's entries
    std::array<QRgb, 256> lookup_ {}; // the palette, an index past its end shown black
    std::array<Channel, 3> channels_; // red, green, blue
    bool plain_ = false; // 8-bit channels at 0xFF0000, 0xFF00, 0xFF: no shifting and widening
};

} // namespace carteva
