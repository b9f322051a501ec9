// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/PictureLoader.h"

#include "calibration/Errors.h"
#include "picture/BitmapDecoder.h"
#include "picture/EmfDecoder.h"
#include "picture/IconDecoder.h"
#include "picture/WmfDecoder.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace carteva {

namespace {

using Decoder = Picture (*)(QFile &);

struct PictureKindEntry
{
    const char *extension;
    Decoder decode;
};

constexpr PictureKindEntry Kinds[] = {
    {"bmp", &BitmapDecoder::Decode},
    {"ico", &IconDecoder::Decode},
    {"emf", &EmfDecoder::Decode},
    {"wmf", &WmfDecoder::Decode},
};

// The characters after the last "." that follows the last path separator.
QString ExtensionOf(const QString &fileName)
{
    const qsizetype nameStart = fileName.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot >= nameStart ? fileName.mid(dot + 1) : QString();
}

[[noreturn]] void FailToOpen(const QString &fileName, int error)
{
    throw Error(QStringLiteral("Cannot open file \"%1\". %2")
                    .arg(fileName, QString::fromLocal8Bit(std::strerror(error)))
                    .toStdString());
}

// Opens read-only with the system's own error text. Only regular files are read: a directory
// gives its own error, and a pipe or device could block the window or never end.
void OpenForReading(const QString &fileName, QFile &file)
{
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        FailToOpen(fileName, errno);
    struct stat status
    {
    };
    int error = 0;
    if (::fstat(fd, &status) != 0)
        error = errno;
    else if (S_ISDIR(status.st_mode))
        error = EISDIR;
    else if (!S_ISREG(status.st_mode))
        error = ENODEV;
    if (error != 0) {
        ::close(fd);
        FailToOpen(fileName, error);
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        FailToOpen(fileName, EIO);
    }
}

} // namespace

Picture LoadPicture(const QString &fileName)
{
    const QString extension = ExtensionOf(fileName);
    for (const PictureKindEntry &kind : Kinds) {
        if (extension.compare(QLatin1String(kind.extension), Qt::CaseInsensitive) == 0) {
            QFile file;
            OpenForReading(fileName, file);
            return kind.decode(file);
        }
    }
    throw Error(
        QStringLiteral("Unknown picture file extension (.%1)").arg(extension).toStdString());
}

} // namespace carteva
