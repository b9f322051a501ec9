// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/PictureHeader.h"

#include "calibration/Errors.h"
#include "picture/BmpHeaderCheck.h"
#include "picture/PathCrossing.h"
#include "picture/PictureLoader.h"

#include <QFile>

namespace carteva {

namespace {

bool IsBitmapName(const std::filesystem::path &path)
{
    const std::string extension = path.extension().string();
    return extension.size() == 4 && extension[0] == '.'
        && QByteArrayView(extension).sliced(1).compare("bmp", Qt::CaseInsensitive) == 0;
}

} // namespace

PictureHeader PictureHeader::Read(const std::filesystem::path &path)
{
    PictureHeader header;
    if (!IsBitmapName(path)) {
        const Picture picture = LoadPicture(path);
        header.Kind = picture.Kind();
        header.Width = picture.Width();
        header.Height = picture.Height();
        return header;
    }
    QFile file;
    OpenPictureFile(path, file);
    const BmpHeaderCheck check(file.read(BmpHeaderCheck::HeadBytes), file.size());
    check.CheckRunLengthData(file);
    header.Kind = PictureKind::Bitmap;
    header.Width = check.Width();
    header.Height = check.Height();
    if (check.BitCount() <= 8) {
        const int entry = check.PaletteEntryBytes();
        if (!file.seek(check.PaletteOffset()))
            throw Error("Stream read error");
        const QByteArray bytes = file.read(qint64(check.ColourCount()) * entry);
        if (bytes.size() != qsizetype(check.ColourCount()) * entry)
            throw Error("Stream read error");
        for (qsizetype i = 0; i < bytes.size(); i += entry) {
            const auto byte = [&](int at) { return std::uint32_t(std::uint8_t(bytes[i + at])); };
            header.Palette.push_back(0xFF000000u | byte(2) << 16 | byte(1) << 8 | byte(0));
        }
    }
    return header;
}

} // namespace carteva
