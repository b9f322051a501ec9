// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/IconDecoder.h"

#include "calibration/Errors.h"
#include "picture/LittleEndian.h"

#include <QFile>
#include <QImageReader>

#include <utility>

namespace carteva {

namespace {

constexpr char StreamReadError[] = "Stream read error";
constexpr char NotValid[] = "Icon image is not valid";

// The 6-byte header and the 16-byte directory entries: Qt's decoder does not notice images that
// lie beyond the end of the file.
void CheckDirectory(QFile &file)
{
    const qint64 fileSize = file.size();
    const QByteArray header = file.read(6);
    if (header.size() < 6)
        throw Error(StreamReadError);
    const quint16 reserved = ReadU16(header, 0);
    const quint16 type = ReadU16(header, 2);
    const quint16 count = ReadU16(header, 4);
    if (reserved != 0 || type != 1 || count == 0)
        throw Error(NotValid);

    const QByteArray directory = file.read(qint64(count) * 16);
    if (directory.size() < qsizetype(count) * 16)
        throw Error(StreamReadError);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = qsizetype(i) * 16;
        const qint64 size = ReadU32(directory, entry + 8);
        const qint64 offset = ReadU32(directory, entry + 12);
        if (size == 0 || offset < 6 + qint64(count) * 16)
            throw Error(NotValid);
        if (offset + size > fileSize)
            throw Error(StreamReadError);
    }
}

} // namespace

Picture IconDecoder::Decode(QFile &file)
{
    CheckDirectory(file);
    if (!file.seek(0))
        throw Error(StreamReadError);

    QImageReader reader(&file, "ico");
    reader.setAutoDetectImageFormat(false);
    QImage largest;
    const int count = reader.imageCount();
    for (int i = 0; i < count; ++i) {
        if (!reader.jumpToImage(i))
            break;
        QImage image = reader.read();
        if (!image.isNull()
            && qint64(image.width()) * image.height() > qint64(largest.width()) * largest.height())
            largest = std::move(image);
    }
    if (largest.isNull())
        throw Error(NotValid);
    return Picture(PictureKind::Icon, std::move(largest));
}

} // namespace carteva
