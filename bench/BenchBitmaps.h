// SPDX-License-Identifier: GPL-2.0-or-later
// Large 24-bit bitmaps for the benchmarks, written once into /tmp and kept for later runs (delete
// them by hand: the A0 sheet takes 1.68 GB of disk).
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include <cstdio>
#include <unistd.h>

namespace carteva::bench {

// A map sheet scanned at 600 dpi.
constexpr int A0Width = 20000;
constexpr int A0Height = 28000;

inline double ResidentMegabytes()
{
    long pages = 0, resident = 0;
    if (std::FILE *file = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(file, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(file);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// A bottom-up 24-bit bitmap with detail everywhere, so that no reading can take a short cut over
// flat colour; written row by row. False when it cannot be written.
inline bool WriteDetailedBitmap(const QString &path, int width, int height)
{
    if (QFile::exists(path))
        return true;
    std::printf("writing %d x %d 24-bit bitmap to %s\n", width, height, qPrintable(path));
    const qint64 rowBytes = (qint64(width) * 3 + 3) / 4 * 4;
    QByteArray headers(54, '\0');
    char *p = headers.data();
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(quint32(qMin<qint64>(54 + rowBytes * height, UINT32_MAX)), p + 2);
    qToLittleEndian<quint32>(54, p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(width, p + 18);
    qToLittleEndian<qint32>(height, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(24, p + 28);
    QFile file(path + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly) || file.write(headers) != headers.size())
        return false;
    QByteArray row(rowBytes, '\0');
    for (int y = 0; y < height; ++y) {
        for (qint64 x = 0; x < qint64(width) * 3; ++x)
            row[x] = char((x * 7 + y * 13) & 0xFF);
        if (file.write(row) != row.size())
            return false;
    }
    file.close();
    return file.rename(path);
}

} // namespace carteva::bench
