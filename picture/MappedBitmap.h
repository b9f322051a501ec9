// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/BitmapLayout.h"
#include "picture/MappedFile.h"
#include "picture/RunLengthRows.h"

#include <atomic>
#include <memory>

namespace carteva {

class BmpHeaderCheck;

// A BMP file's pixels where they lie: the file is mapped read-only and its rows are read in place,
// bottom-up ones too, so that only what is looked at is read. Run-length files are decoded a band of rows at a time, when
// first looked at.
class MappedBitmap
{
public:
    // fd: the open file, which the check has vouched for; it may be closed afterwards. Throws
    // Error("Stream read error") for incomplete run-length codes, and std::system_error when the
    // address space or memory has no room.
    MappedBitmap(int fd, qint64 fileSize, const BmpHeaderCheck &check);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int DotsPerMeterX() const { return dotsPerMeterX_; }
    int DotsPerMeterY() const { return dotsPerMeterY_; }
    const BitmapLayout &Layout() const { return *layout_; }

    // Row y from the top, in the layout's stored form.
    const uchar *Row(int y) const;

    // Call after reading: the first time the file has been found shortened since it was opened,
    // throws Error("The bitmap file was shortened while it was open"); its missing pixels read as
    // stored 0 from then on.
    void CheckFile() const;

private:
    int width_;
    int height_;
    bool topDown_;
    int dotsPerMeterX_;
    int dotsPerMeterY_;
    qint64 pixelOffset_;
    qint64 rowBytes_;
    MappedFile file_;
    std::unique_ptr<RunLengthRows> runLength_;
    std::unique_ptr<BitmapLayout> layout_;
    mutable std::atomic<bool> shortenedReported_ {false};
};

} // namespace carteva
