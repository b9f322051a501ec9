// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/PictureLoader.h"

#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileOps.h"
#include "picture/BitmapDecoder.h"
#include "picture/EmfDecoder.h"
#include "picture/IconDecoder.h"
#include "picture/PathCrossing.h"
#include "picture/WmfDecoder.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace carteva {

namespace {

using Decoder = Picture (*)(QFile &);

struct PictureKindEntry
{
    const char *Extension;
    Decoder Decode;
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
void OpenForReading(const std::filesystem::path &path, const QString &fileName, QFile &file)
{
    FileOps posix;
    const RegularFile opened = OpenRegularFile(posix, path.c_str());
    switch (opened.refusal) {
    case RegularFile::Refusal::Open:
    case RegularFile::Refusal::Fstat:
        FailToOpen(fileName, opened.error);
    case RegularFile::Refusal::NotRegular:
        FailToOpen(fileName, opened.IsFolder() ? EISDIR : ENODEV);
    case RegularFile::Refusal::None:
        break;
    }
    if (!file.open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(opened.fd);
        FailToOpen(fileName, EIO);
    }
}

Picture Load(const std::filesystem::path &path, const QString &fileName)
{
    const QString extension = ExtensionOf(fileName);
    for (const PictureKindEntry &kind : Kinds) {
        if (extension.compare(QLatin1String(kind.Extension), Qt::CaseInsensitive) == 0) {
            QFile file;
            OpenForReading(path, fileName, file);
            return kind.Decode(file);
        }
    }
    throw Error(
        QStringLiteral("Unknown picture file extension (.%1)").arg(extension).toStdString());
}

} // namespace

Picture LoadPicture(const QString &fileName)
{
    return Load(StdPath(fileName), fileName);
}

Picture LoadPicture(const std::filesystem::path &path)
{
    return Load(path, QtPath(path));
}

void OpenPictureFile(const std::filesystem::path &path, QFile &file)
{
    OpenForReading(path, QtPath(path), file);
}

} // namespace carteva
