// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/RunLengthRows.h"

#include "calibration/Errors.h"

namespace carteva {

namespace {

struct OutOfCodes
{ };

// Walks the codes from `from` until row `endRow` or the end-of-bitmap mark: pixel(row, x, index)
// for every pixel, rowStart(position) whenever a new row is reached. Throws OutOfCodes when the
// codes end first.
template<class PixelSink, class RowSink>
void Walk(QByteArrayView codes, bool fourBit, RunLengthRows::Position from, int endRow,
          PixelSink &&pixel, RowSink &&rowStart)
{
    qsizetype at = from.At;
    int row = from.Row;
    int x = from.X;
    const auto take = [&](qsizetype count) {
        if (codes.size() - at < count)
            throw OutOfCodes {};
        const qsizetype start = at;
        at += count;
        return start;
    };
    const auto byte = [&](qsizetype i) { return uchar(codes[i]); };
    while (row < endRow) {
        const qsizetype code = take(2);
        const int count = byte(code);
        if (count != 0) { // a run of one value; 4-bit ones alternate two
            const uchar value = byte(code + 1);
            for (int i = 0; i < count; ++i, ++x)
                pixel(row, x, !fourBit ? value : i % 2 == 0 ? value >> 4 : value & 0xF);
            continue;
        }
        switch (byte(code + 1)) {
        case 0: // end of row
            ++row;
            x = 0;
            rowStart(RunLengthRows::Position {at, row, x});
            break;
        case 1: // end of bitmap
            return;
        case 2: { // skip right and down
            const qsizetype skip = take(2);
            x += byte(skip);
            row += byte(skip + 1);
            rowStart(RunLengthRows::Position {at, row, x});
            break;
        }
        default: { // literal pixels, padded to an even number of bytes
            const int pixels = byte(code + 1);
            const qsizetype bytes = fourBit ? (pixels + 1) / 2 : pixels;
            const qsizetype literal = take(bytes + (bytes & 1));
            for (int i = 0; i < pixels; ++i, ++x) {
                const uchar value = byte(literal + (fourBit ? i / 2 : i));
                pixel(row, x, !fourBit ? value : i % 2 == 0 ? value >> 4 : value & 0xF);
            }
        }
        }
    }
}

constexpr auto NoPixels = [](int, int, uchar) {};

} // namespace

void RunLengthRows::Check(QByteArrayView codes, int, int height, bool fourBit)
{
    try {
        Walk(codes, fourBit, {}, height, NoPixels, [](const Position &) {});
    } catch (const OutOfCodes &) {
        throw Error("Stream read error");
    }
}

RunLengthRows::RunLengthRows(QByteArrayView codes, int width, int height, bool fourBit)
    : codes_(codes)
    , width_(width)
    , height_(height)
    , fourBit_(fourBit)
    , rows_(-1, qint64(width) * height)
{
    const std::size_t bands = std::size_t((height + BandRows - 1) / BandRows);
    bandStarts_.assign(bands, Position {-1, 0, 0});
    decoded_.assign(bands, 0);
    bandStarts_[0] = Position {};
    std::size_t next = 1;
    try {
        Walk(codes, fourBit, {}, height, NoPixels, [&](const Position &position) {
            for (; next < bands && int(next) * BandRows <= position.Row; ++next)
                bandStarts_[next] = position;
        });
    } catch (const OutOfCodes &) {
        throw Error("Stream read error");
    }
}

uchar *RunLengthRows::Row(int y)
{
    const std::size_t band = std::size_t((height_ - 1 - y) / BandRows);
    const std::lock_guard lock(decoding_);
    if (!decoded_[band]) {
        DecodeBand(band);
        decoded_[band] = 1;
    }
    return rows_.Data() + qint64(y) * width_;
}

void RunLengthRows::DecodeBand(std::size_t band)
{
    const Position &start = bandStarts_[band];
    if (start.At < 0)
        return;
    const int first = int(band) * BandRows;
    const int end = std::min(height_, first + BandRows);
    uchar *const rows = rows_.Data();
    const auto pixel = [&](int row, int x, uchar index) {
        // Pixels past the row's end are dropped; rows before the band belong to another.
        if (x < width_ && row >= first)
            rows[qint64(height_ - 1 - row) * width_ + x] = index;
    };
    try {
        Walk(codes_, fourBit_, start, end, pixel, [](const Position &) {});
    } catch (const OutOfCodes &) {
        // Checked complete on opening; a file shortened since reads as zeros, which end rows.
    }
}

} // namespace carteva
