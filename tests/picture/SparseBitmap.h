// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

namespace carteva::test {

// A 24-bit bitmap of any size that costs no disk: the headers, then a hole the file system keeps
// sparse, which reads as black pixels. False when the file cannot be written.
inline bool WriteSparseBitmap(const QString &path, qint32 width, qint32 height)
{
    QByteArray headers(54, '\0');
    char *p = headers.data();
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(54, p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(width, p + 18);
    qToLittleEndian<qint32>(height, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(24, p + 28);
    const qint64 rowBytes = (qint64(width) * 24 + 31) / 32 * 4;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(headers) == headers.size()
        && file.resize(54 + rowBytes * height);
}

} // namespace carteva::test
