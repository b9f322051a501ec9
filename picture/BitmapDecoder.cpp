// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/BitmapDecoder.h"

#include "calibration/Errors.h"
#include "picture/BmpHeaderCheck.h"
#include "picture/MappedBitmap.h"

#include <QFile>
#include <QString>

#include <memory>
#include <new>
#include <system_error>

namespace carteva {

namespace {

[[noreturn]] void FailTooLarge(const BmpHeaderCheck &check, const QString &reason)
{
    throw Error(QStringLiteral("Bitmap image is too large: %1 x %2 pixels, %3")
                    .arg(check.Width())
                    .arg(check.Height())
                    .arg(reason)
                    .toStdString());
}

} // namespace

Picture BitmapDecoder::Decode(QFile &file)
{
    const BmpHeaderCheck check(file.read(BmpHeaderCheck::HeadBytes), file.size());
    if (check.Width() > Picture::MaxSide || check.Height() > Picture::MaxSide)
        FailTooLarge(check, QStringLiteral("and the view shows at most %1 a side")
                                .arg(Picture::MaxSide));
    try {
        return Picture(std::make_unique<MappedBitmap>(file.handle(), file.size(), check));
    } catch (const std::system_error &error) {
        FailTooLarge(check, QStringLiteral("and there is no room for them: %1")
                                .arg(QString::fromLocal8Bit(error.what())));
    } catch (const std::bad_alloc &) {
        FailTooLarge(check, QStringLiteral("and there is no memory for them"));
    }
}

} // namespace carteva
