// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/MappedFile.h"

#include <QByteArrayView>

#include <mutex>
#include <vector>

namespace carteva {

// The rows of a run-length bitmap (4 or 8 bits a pixel), one byte a pixel (the palette index),
// decoded a band of rows at a time when first asked for. Where each band's codes start is noted
// in one walk over the codes on opening, which also checks that they are complete.
class RunLengthRows
{
public:
    static constexpr int BandRows = 64;

    // codes: the compressed pixels, which must stay in place while this lives. Throws
    // Error("Stream read error") when they end before their end-of-bitmap mark or last row, and
    // std::system_error when there is no room for the decoded rows.
    RunLengthRows(QByteArrayView codes, int width, int height, bool fourBit);

    // The same check alone, without keeping anything.
    static void Check(QByteArrayView codes, int width, int height, bool fourBit);

    // Row y, counted from the top. Safe to call from several threads.
    uchar *Row(int y);

    // Where the walk over the codes stands: rows are counted from the bottom, as the codes run.
    struct Position
    {
        qsizetype At = 0;
        int Row = 0;
        int X = 0;
    };

private:
    void DecodeBand(std::size_t band);

    QByteArrayView codes_;
    int width_;
    int height_;
    bool fourBit_;
    MappedFile rows_; // zeroed memory: index 0 where the codes skip pixels
    std::vector<Position> bandStarts_; // At = -1: the codes end before the band
    std::vector<char> decoded_;
    std::mutex decoding_;
};

} // namespace carteva
