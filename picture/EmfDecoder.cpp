// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/EmfDecoder.h"

#include "calibration/Errors.h"
#include "picture/LittleEndian.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include <emf2svg.h>

#include <cstdlib>
#include <memory>
#include <utility>

namespace carteva {

namespace {

constexpr char NotValid[] = "Metafile is not valid";
constexpr qsizetype HeaderSize = 88;
constexpr quint32 HeaderRecord = 1;
constexpr quint32 Signature = 0x464D4520; // " EMF"

struct FreeDeleter
{
    void operator()(char *p) const { std::free(p); }
};

QByteArray ToSvg(QByteArray &emf, qsizetype length)
{
    generatorOptions options {};
    options.nameSpace = nullptr;
    options.svgDelimiter = true;
    options.emfplus = true;
    char *out = nullptr;
    std::size_t outLength = 0;
    const int ok = emf2svg(emf.data(), std::size_t(length), &out, &outLength, &options);
    const std::unique_ptr<char, FreeDeleter> owned(out);
    if (ok != 1 || out == nullptr)
        throw Error(NotValid);
    return QByteArray(out, qsizetype(outLength));
}

} // namespace

Picture EmfDecoder::Decode(QFile &file)
{
    QByteArray emf = file.readAll();
    if (emf.size() < HeaderSize)
        throw Error(NotValid);
    const quint32 type = ReadU32(emf, 0);
    const quint32 headerSize = ReadU32(emf, 4);
    const qint64 left = ReadS32(emf, 8);
    const qint64 top = ReadS32(emf, 12);
    const qint64 right = ReadS32(emf, 16);
    const qint64 bottom = ReadS32(emf, 20);
    const quint32 signature = ReadU32(emf, 40);
    const qint64 totalSize = ReadU32(emf, 48);
    if (type != HeaderRecord || signature != Signature || headerSize < HeaderSize
        || totalSize < headerSize || totalSize > emf.size())
        throw Error(NotValid);

    // libemf2svg may peek at a record header just past the end it is given.
    const qsizetype length = qsizetype(totalSize);
    emf.append(QByteArray(16, '\0'));
    const QByteArray svg = ToSvg(emf, length);

    // The bounds are inclusive; empty bounds make an empty picture.
    const qint64 width = right - left + 1;
    const qint64 height = bottom - top + 1;
    if (width <= 0 || height <= 0)
        return Picture(PictureKind::Metafile, QImage());
    if (width > Picture::MaxMetafileSide || height > Picture::MaxMetafileSide
        || width * height > Picture::MaxMetafilePixels)
        throw Error(NotValid);

    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        throw Error(NotValid);
    // The SVG is already shifted to the bounds' corner; its own size leaves out the last pixel.
    renderer.setViewBox(QRectF(0, 0, qreal(width), qreal(height)));
    QImage image(int(width), int(height), QImage::Format_RGB32);
    if (image.isNull())
        throw Error(NotValid);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, qreal(width), qreal(height)));
    painter.end();
    return Picture(PictureKind::Metafile, std::move(image));
}

} // namespace carteva
