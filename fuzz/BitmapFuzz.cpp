// SPDX-License-Identifier: GPL-2.0-or-later
// The BMP header check and the decoder behind it on any bytes: a file either loads with the size
// its header gives, all its pixels readable, or fails with one of the bitmap messages.
#include "FuzzInput.h"

#include "calibration/Errors.h"
#include "picture/BitmapDecoder.h"
#include "picture/BmpHeaderCheck.h"

#include <QByteArray>
#include <QFile>
#include <QtGlobal>

#include <string_view>

using namespace carteva;

namespace {

// Qt warns on stderr about every broken file it reads.
void Quiet(QtMsgType, const QMessageLogContext &, const QString &) { }

// Every pixel is read once loaded; a run-length file of a few bytes may claim a picture of a
// gigabyte. The size limits are proven by the tests, so here only what is read quickly.
constexpr qint64 MaxFuzzedPixels = 16LL * 1024 * 1024;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(Quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     static_cast<qsizetype>(size));
    try {
        const BmpHeaderCheck check(bytes.left(BmpHeaderCheck::HeadBytes), qint64(size));
        if (qint64(check.Width()) * check.Height() > MaxFuzzedPixels)
            return 0;
    } catch (const Error &) {
        // The decoder must come to the same verdict; it is run below all the same.
    }

    const std::string path = fuzz::WriteInputFile("bmp", data, size);
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        fuzz::Broken("cannot open the input file");
    try {
        const Picture picture = BitmapDecoder::Decode(file);
        if (picture.Kind() != PictureKind::Bitmap || picture.Width() <= 0 || picture.Height() <= 0)
            fuzz::Broken("an empty or non-bitmap picture loaded");
        if (picture.Image().size() != picture.Size())
            fuzz::Broken("the pixels read are not the picture's size");
    } catch (const Error &error) {
        const std::string_view message = error.what();
        if (message != "Stream read error" && message != "Bitmap image is not valid"
            && !message.starts_with("Bitmap image is too large: "))
            fuzz::Broken("a bitmap failed with another message");
    }
    return 0;
}
