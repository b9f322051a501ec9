// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/MappedBitmap.h"

#include "calibration/Errors.h"
#include "picture/BmpHeaderCheck.h"

namespace carteva {

MappedBitmap::MappedBitmap(int fd, qint64 fileSize, const BmpHeaderCheck &check)
    : width_(check.Width())
    , height_(check.Height())
    , topDown_(check.IsTopDown())
    , dotsPerMeterX_(check.DotsPerMeterX())
    , dotsPerMeterY_(check.DotsPerMeterY())
    , pixelOffset_(check.PixelOffset())
    , rowBytes_(check.RowBytes())
    , file_(fd, fileSize)
{
    if (check.IsRunLength()) {
        const QByteArrayView codes(file_.Data() + pixelOffset_, check.RunLengthBytes());
        runLength_
            = std::make_unique<RunLengthRows>(codes, width_, height_, check.IsRunLength4());
    }
    layout_ = std::make_unique<BitmapLayout>(check, file_.Data(),
                                             runLength_ ? 8 : check.BitCount());
    CheckFile();
}

const uchar *MappedBitmap::Row(int y) const
{
    if (runLength_)
        return runLength_->Row(y);
    const qint64 row = topDown_ ? y : height_ - 1 - y;
    return file_.Data() + pixelOffset_ + row * rowBytes_;
}

void MappedBitmap::CheckFile() const
{
    if (file_.Shortened() && !shortenedReported_.exchange(true)) {
        throw Error("The bitmap file was shortened while it was open");
    }
}

} // namespace carteva
