// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>

class QIODevice;

namespace carteva {

// Reads the headers of a BMP file and checks them against the file's size before its pixels are
// read: a short file must not show made-up rows. Throws Error("Stream read error") when
// the file is shorter than its headers and pixel data say, Error("Bitmap image is not valid") for
// any other fault.
class BmpHeaderCheck
{
public:
    // How much of the file's start the check needs: the file header, the largest info header and
    // the bit masks that may follow it.
    static constexpr qsizetype HeadBytes = 14 + 124 + 16;
    // head: the file's first HeadBytes bytes (all of it when shorter).
    BmpHeaderCheck(QByteArrayView head, qint64 fileSize);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool IsRunLength() const { return compression_ == RunLength8 || compression_ == RunLength4; }
    bool IsRunLength4() const { return compression_ == RunLength4; }
    // The compressed pixels' length, from PixelOffset() (run-length files only).
    qint64 RunLengthBytes() const { return runLengthBytes_; }
    // Bytes from one row's start to the next's (files that are not run-length).
    qint64 RowBytes() const { return (qint64(width_) * bitCount_ + 31) / 32 * 4; }
    // Rows run from the top down rather than from the bottom up.
    bool IsTopDown() const { return topDown_; }
    // Where the pixels start in the file.
    qint64 PixelOffset() const { return pixelOffset_; }
    int DotsPerMeterX() const { return dotsPerMeterX_; }
    int DotsPerMeterY() const { return dotsPerMeterY_; }
    // The palette of a file of up to 8 bits a pixel, read as Qt reads it: ColourCount() entries of 3
    // bytes (12-byte header) or 4 bytes (blue, green, red, unused) from PaletteOffset().
    std::uint32_t ColourCount() const { return colourCount_; }
    qint64 PaletteOffset() const { return paletteOffset_; }
    int PaletteEntryBytes() const { return headerSize_ == 12 ? 3 : 4; }
    int BitCount() const { return bitCount_; }
    // Where red, green and blue lie in each pixel of a 16-, 24- or 32-bit file.
    const std::array<std::uint32_t, 3> &Masks() const { return masks_; }

    // Walks the compressed pixels of a run-length file (a no-op for other files): they must reach
    // their end-of-bitmap mark, or the last row, before the file ends.
    void CheckRunLengthData(QIODevice &file) const;

private:
    enum Compression : std::uint32_t {
        Rgb = 0,
        RunLength8 = 1,
        RunLength4 = 2,
        BitFields = 3,
        AlphaBitFields = 6,
    };

    // What the headers say, before any of it is checked.
    struct Fields
    {
        std::uint32_t DataOffset = 0;
        std::int64_t Width = 0;
        std::int64_t Height = 0; // negative for a top-down bitmap
        int Planes = 0;
        std::uint32_t ImageSize = 0;
        std::uint32_t ColoursUsed = 0;
    };

    // The constructor's steps, in file order.
    Fields ReadHeaders(QByteArrayView head);
    void CheckFormat(const Fields &fields);
    qint64 CheckMasks(QByteArrayView head, qint64 fileSize);
    void CheckExtent(const Fields &fields, qint64 masksEnd, qint64 fileSize);

    std::uint32_t headerSize_ = 0;
    int width_ = 0;
    int height_ = 0; // always positive
    bool topDown_ = false;
    int dotsPerMeterX_ = 0;
    int dotsPerMeterY_ = 0;
    int bitCount_ = 0;
    std::uint32_t compression_ = Rgb;
    std::array<std::uint32_t, 3> masks_ {0xFF0000, 0xFF00, 0xFF};
    std::uint32_t colourCount_ = 0; // palette entries read
    qint64 paletteOffset_ = 0; // where the palette starts in the file
    qint64 pixelOffset_ = 0; // where the pixels are read from
    qint64 runLengthBytes_ = 0; // compressed pixel bytes (run-length files only)
};

} // namespace carteva
