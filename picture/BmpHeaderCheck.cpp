// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/BmpHeaderCheck.h"

#include "calibration/Errors.h"
#include "picture/LittleEndian.h"
#include "picture/RunLengthRows.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>

namespace carteva {

namespace {

constexpr char StreamReadError[] = "Stream read error";
constexpr char NotValid[] = "Bitmap image is not valid";

[[noreturn]] void Fail(const char *message)
{
    throw Error(message);
}

constexpr qsizetype FileHeaderSize = 14;

} // namespace

// Each step reads only what the steps before proved present, in file order, so that a short file
// is reported as short rather than as malformed.
BmpHeaderCheck::BmpHeaderCheck(QByteArrayView head, qint64 fileSize)
{
    const Fields fields = ReadHeaders(head);
    CheckFormat(fields);
    const qint64 masksEnd = CheckMasks(head, fileSize);
    CheckExtent(fields, masksEnd, fileSize);
}

// The file header and the info header, in any of their forms.
BmpHeaderCheck::Fields BmpHeaderCheck::ReadHeaders(QByteArrayView head)
{
    if (head.size() < FileHeaderSize)
        Fail(StreamReadError);
    if (head[0] != 'B' || head[1] != 'M')
        Fail(NotValid);
    Fields fields;
    fields.DataOffset = ReadU32(head, 10);

    if (head.size() < FileHeaderSize + 4)
        Fail(StreamReadError);
    headerSize_ = ReadU32(head, 14);
    switch (headerSize_) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 108:
    case 124:
        break;
    default:
        Fail(NotValid);
    }
    if (head.size() < FileHeaderSize + qsizetype(headerSize_))
        Fail(StreamReadError);

    if (headerSize_ == 12) {
        fields.Width = ReadU16(head, 18);
        fields.Height = ReadU16(head, 20);
        fields.Planes = ReadU16(head, 22);
        bitCount_ = ReadU16(head, 24);
        // Qt reads these sizes as signed.
        if (fields.Width > INT16_MAX || fields.Height > INT16_MAX)
            Fail(NotValid);
    } else {
        fields.Width = ReadS32(head, 18);
        fields.Height = ReadS32(head, 22);
        fields.Planes = ReadU16(head, 26);
        bitCount_ = ReadU16(head, 28);
        compression_ = ReadU32(head, 30);
        fields.ImageSize = ReadU32(head, 34);
        dotsPerMeterX_ = ReadS32(head, 38);
        dotsPerMeterY_ = ReadS32(head, 42);
        fields.ColoursUsed = ReadU32(head, 46);
    }
    return fields;
}

// Planes, bit count, compression and size: the forms Qt's decoder reads, which are read here.
void BmpHeaderCheck::CheckFormat(const Fields &fields)
{
    if (fields.Planes != 1)
        Fail(NotValid);
    switch (bitCount_) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        Fail(NotValid);
    }
    switch (compression_) {
    case Rgb:
        break;
    case RunLength8:
        if (bitCount_ != 8)
            Fail(NotValid);
        break;
    case RunLength4:
        if (bitCount_ != 4)
            Fail(NotValid);
        break;
    case BitFields:
    case AlphaBitFields:
        if (bitCount_ != 16 && bitCount_ != 32)
            Fail(NotValid);
        break;
    default:
        Fail(NotValid);
    }

    const std::int64_t width = fields.Width;
    std::int64_t height = fields.Height;
    topDown_ = height < 0;
    if (width <= 0 || height == 0 || height == INT32_MIN || (topDown_ && IsRunLength()))
        Fail(NotValid);
    height = topDown_ ? -height : height;
    width_ = int(width);
    height_ = int(height);
}

// The bit masks of a 16- or 32-bit file; returns where they end.
qint64 BmpHeaderCheck::CheckMasks(QByteArrayView head, qint64 fileSize)
{
    // A 40-byte header is followed by its bit masks.
    qint64 masksEnd = FileHeaderSize + headerSize_;
    if (headerSize_ == 40 && compression_ == BitFields)
        masksEnd += 12;
    else if (headerSize_ == 40 && compression_ == AlphaBitFields)
        masksEnd += 16;
    if (fileSize < masksEnd || head.size() < masksEnd)
        Fail(StreamReadError);
    if (compression_ == BitFields || compression_ == AlphaBitFields) {
        // Every header form holds its red, green and blue masks at the same place. Channels of
        // up to 8 contiguous bits are read, as Qt reads them.
        for (int i = 0; i < 3; ++i) {
            const std::uint32_t mask = ReadU32(head, 54 + 4 * i);
            const std::uint32_t low = mask == 0 ? 0 : mask >> std::countr_zero(mask);
            if ((low & (low + 1)) != 0 || std::popcount(low) > 8)
                Fail(NotValid);
            masks_[i] = mask;
        }
    } else if (bitCount_ == 16) {
        masks_ = {0x7C00, 0x03E0, 0x001F};
    }
    return masksEnd;
}

// The palette and the pixels must lie inside the file.
void BmpHeaderCheck::CheckExtent(const Fields &fields, qint64 masksEnd, qint64 fileSize)
{
    paletteOffset_ = FileHeaderSize + headerSize_;
    qint64 paletteEnd = masksEnd;
    if (bitCount_ <= 8) {
        colourCount_ = fields.ColoursUsed != 0 ? fields.ColoursUsed : 1u << bitCount_;
        if (colourCount_ > 256)
            Fail(NotValid);
        paletteEnd = paletteOffset_ + qint64(colourCount_) * (headerSize_ == 12 ? 3 : 4);
        if (fileSize < paletteEnd)
            Fail(StreamReadError);
    }

    // An offset pointing back into the headers is left by careless writers; the pixels then
    // follow the palette, which is where Qt reads them.
    pixelOffset_ = std::max<qint64>(fields.DataOffset, paletteEnd);
    if (pixelOffset_ >= fileSize)
        Fail(StreamReadError);
    if (IsRunLength()) {
        runLengthBytes_
            = fields.ImageSize != 0 ? qint64(fields.ImageSize) : fileSize - pixelOffset_;
        if (runLengthBytes_ > fileSize - pixelOffset_)
            Fail(StreamReadError);
    } else {
        const std::uint64_t stride = (std::uint64_t(width_) * bitCount_ + 31) / 32 * 4;
        if (stride * std::uint64_t(height_) > std::uint64_t(fileSize - pixelOffset_))
            Fail(StreamReadError);
    }
}

void BmpHeaderCheck::CheckRunLengthData(QIODevice &file) const
{
    if (!IsRunLength())
        return;
    if (!file.seek(pixelOffset_))
        Fail(StreamReadError);
    const QByteArray data = file.read(runLengthBytes_);
    if (data.size() != runLengthBytes_)
        Fail(StreamReadError);
    RunLengthRows::Check(data, width_, height_, IsRunLength4());
}

} // namespace carteva
