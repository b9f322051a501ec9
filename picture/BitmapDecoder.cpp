// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/BitmapDecoder.h"

#include "calibration/Errors.h"
#include "picture/BmpHeaderCheck.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <mutex>
#include <utility>

namespace carteva {

namespace {

// Qt refuses to allocate images above a global limit (128 MB by default); a large map needs
// more. The limit is raised for this one bitmap only, so that other readers keep their guard.
// Bitmaps may decode on two threads at once (a preview and the window): one raise at a time, or
// the reader that ends first would restore the limit under the other.
class AllocationLimitRaise
{
public:
    explicit AllocationLimitRaise(qint64 bytes)
        : lock_(Mutex())
        , saved_(QImageReader::allocationLimit())
    {
        const qint64 megabytes = bytes / (1024 * 1024) + 1;
        if (saved_ != 0 && megabytes > saved_)
            QImageReader::setAllocationLimit(int(qMin<qint64>(megabytes, INT_MAX)));
    }
    ~AllocationLimitRaise() { QImageReader::setAllocationLimit(saved_); }
    AllocationLimitRaise(const AllocationLimitRaise &) = delete;
    AllocationLimitRaise &operator=(const AllocationLimitRaise &) = delete;

private:
    static std::mutex &Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }

    std::lock_guard<std::mutex> lock_;
    int saved_;
};

// Qt widens a channel of fewer than 8 bits by shifting it up, so that a 5-bit white comes out as
// 248; repeating the channel's bits below it gives the full range, as 255 for white.
void WidenNarrowChannels(QImage &image, const std::array<int, 3> &channelBits)
{
    const auto narrow = [](int bits) { return bits > 0 && bits < 8; };
    if (image.depth() != 32 || std::none_of(channelBits.begin(), channelBits.end(), narrow))
        return;
    std::array<std::array<uchar, 256>, 3> tables {};
    for (int channel = 0; channel < 3; ++channel) {
        const int bits = channelBits[channel];
        for (int value = 0; value < 256; ++value) {
            if (!narrow(bits)) {
                tables[channel][value] = uchar(value);
                continue;
            }
            const int raw = value >> (8 - bits);
            int widened = 0;
            for (int shift = 8 - bits; shift > -bits; shift -= bits)
                widened |= shift >= 0 ? raw << shift : raw >> -shift;
            tables[channel][value] = uchar(widened);
        }
    }
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            line[x]
                = qRgb(tables[0][qRed(pixel)], tables[1][qGreen(pixel)], tables[2][qBlue(pixel)]);
        }
    }
}

QImage ReadBmp(QIODevice &device)
{
    QImageReader reader(&device, "bmp");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

// Any form Qt reads, some after their headers are rewritten.
QImage ReadWithQt(QFile &file, const BmpHeaderCheck &check)
{
    const AllocationLimitRaise limit(check.AllocationBytes());
    if (!file.seek(0))
        throw Error("Stream read error");
    if (!check.NeedsRewrite()) // straight from the file: no copy of a large bitmap's bytes
        return ReadBmp(file);
    // Rare header forms: read the whole file to rewrite them.
    QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        throw Error("Stream read error");
    check.Rewrite(bytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadBmp(buffer);
}

// A plain 24-bit bitmap, the usual form of a large map, is read row by row straight into the
// image and widened there: about a quarter less time than Qt's reader takes, with the same result
// (opaque RGB32, the header's resolution).
QImage ReadPlain24Bit(QFile &file, const BmpHeaderCheck &check)
{
    QImage image(check.Width(), check.Height(), QImage::Format_RGB32);
    if (image.isNull())
        throw Error("Bitmap image is not valid");
    if (!file.seek(check.PixelOffset()))
        throw Error("Stream read error");
    const qint64 rowBytes = (qint64(check.Width()) * 3 + 3) / 4 * 4; // never more than 4 a pixel
    for (int row = 0; row < check.Height(); ++row) {
        uchar *line = image.scanLine(check.IsTopDown() ? row : check.Height() - 1 - row);
        if (file.read(reinterpret_cast<char *>(line), rowBytes) != rowBytes)
            throw Error("Stream read error");
        // From the right end: a pixel's 4 bytes only cover the 3-byte pixels already widened.
        auto *pixels = reinterpret_cast<QRgb *>(line);
        for (int x = check.Width() - 1; x >= 0; --x) {
            const uchar *bgr = line + 3 * x;
            pixels[x] = qRgb(bgr[2], bgr[1], bgr[0]);
        }
    }
    image.setDotsPerMeterX(check.DotsPerMeterX());
    image.setDotsPerMeterY(check.DotsPerMeterY());
    return image;
}

} // namespace

Picture BitmapDecoder::Decode(QFile &file)
{
    const BmpHeaderCheck check(file.read(BmpHeaderCheck::HeadBytes), file.size());
    check.CheckRunLengthData(file);

    QImage image = check.IsPlain24Bit() ? ReadPlain24Bit(file, check) : ReadWithQt(file, check);
    if (image.isNull())
        throw Error("Bitmap image is not valid");
    if (image.hasAlphaChannel())
        image.convertTo(QImage::Format_RGB32);
    WidenNarrowChannels(image, check.ChannelBits());
    return Picture(PictureKind::Bitmap, std::move(image));
}

} // namespace carteva
