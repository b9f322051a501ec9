#include "ui/BitmapDecoder.h"

#include "calibration/Errors.h"
#include "ui/BmpHeaderCheck.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <utility>

namespace carteva {

namespace {

// Qt refuses to allocate images above a global limit (128 MB by default); a large map needs
// more. The limit is raised for this one bitmap only, so that other readers keep their guard.
class AllocationLimitRaise
{
public:
    explicit AllocationLimitRaise(qint64 bytes)
        : saved_(QImageReader::allocationLimit())
    {
        const qint64 megabytes = bytes / (1024 * 1024) + 1;
        if (saved_ != 0 && megabytes > saved_)
            QImageReader::setAllocationLimit(int(qMin<qint64>(megabytes, INT_MAX)));
    }
    ~AllocationLimitRaise() { QImageReader::setAllocationLimit(saved_); }
    AllocationLimitRaise(const AllocationLimitRaise &) = delete;
    AllocationLimitRaise &operator=(const AllocationLimitRaise &) = delete;

private:
    int saved_;
};

QImage ReadBmp(QIODevice &device)
{
    QImageReader reader(&device, "bmp");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

} // namespace

Picture BitmapDecoder::Decode(QFile &file)
{
    const qint64 fileSize = file.size();
    const BmpHeaderCheck check(file.read(BmpHeaderCheck::HeadBytes), fileSize);
    check.CheckRunLengthData(file);

    const AllocationLimitRaise limit(check.DecodedBytes());
    QImage image;
    if (check.NeedsRewrite()) {
        // Rare header forms: read the whole file to rewrite them.
        if (!file.seek(0))
            throw Error("Stream read error");
        QByteArray bytes = file.readAll();
        if (bytes.size() != fileSize)
            throw Error("Stream read error");
        check.Rewrite(bytes);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        image = ReadBmp(buffer);
    } else {
        // Straight from the file: no copy of a large bitmap's bytes.
        if (!file.seek(0))
            throw Error("Stream read error");
        image = ReadBmp(file);
    }
    if (image.isNull())
        throw Error("Bitmap image is not valid");
    if (image.hasAlphaChannel())
        image.convertTo(QImage::Format_RGB32);
    return Picture(PictureKind::Bitmap, std::move(image));
}

} // namespace carteva
