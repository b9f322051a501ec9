// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/Errors.h"
#include "picture/PictureLoader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstdio>

#include <sys/resource.h>
#include <unistd.h>

using namespace carteva;

namespace {

// A file header and a 40-byte info header, no palette.
QByteArray Headers(qint32 width, qint32 height, quint16 bitCount, quint32 compression = 0)
{
    QByteArray bytes(54, '\0');
    char *p = bytes.data();
    const qint64 rowBytes = (qint64(width) * bitCount + 31) / 32 * 4;
    const qint64 fileSize = 54 + rowBytes * qAbs(qint64(height));
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(quint32(qMin<qint64>(fileSize, UINT32_MAX)), p + 2);
    qToLittleEndian<quint32>(54, p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(width, p + 18);
    qToLittleEndian<qint32>(height, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(bitCount, p + 28);
    qToLittleEndian<quint32>(compression, p + 30);
    return bytes;
}

// Writes the headers and makes the file `size` bytes long without writing the rest: the file
// system keeps it sparse, so a file of gigabytes costs nothing and reads as zeros.
void WriteSparse(const QString &path, const QByteArray &headers, qint64 size)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(headers), headers.size());
    QVERIFY(file.resize(size));
}

long PeakResidentMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

QString FailureOf(const QString &path)
{
    try {
        LoadPicture(path);
    } catch (const Error &error) {
        return QString::fromStdString(error.what());
    }
    return QStringLiteral("(loaded)");
}

} // namespace

class HugeBitmapsTest : public QObject
{
    Q_OBJECT
private slots:
    void bitmapOf12000By9000PixelsLoads()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("huge map.bmp");
        const qint64 rowBytes = 12000 * 3;
        WriteSparse(path, Headers(12000, 9000, 24), 54 + rowBytes * 9000);
        QCOMPARE(QFile(path).size(), 54 + 324'000'000LL);
        {
            // Two marks: the first pixel of the file is the bottom-left one, the last the
            // top-right one.
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(54);
            file.write("\x00\x00\xFF", 3); // red
            file.seek(54 + rowBytes * 9000 - 3);
            file.write("\xFF\x00\x00", 3); // blue
        }

        QElapsedTimer timer;
        timer.start();
        const Picture picture = LoadPicture(path);
        const qint64 took = timer.elapsed();
        QCOMPARE(picture.Width(), 12000);
        QCOMPARE(picture.Height(), 9000);
        QCOMPARE(picture.Pixel(0, 8999), qRgb(255, 0, 0));
        QCOMPARE(picture.Pixel(11999, 0), qRgb(0, 0, 255));
        QCOMPARE(picture.Pixel(6000, 4500), qRgb(0, 0, 0));
        qInfo("12000 x 9000 bitmap (324 MB) loaded in %lld ms, peak memory %ld MB", took,
              PeakResidentMegabytes());
    }

    // Any valid bitmap that fits on the disk opens at once, whatever its size; what cannot be
    // held is refused with the reason.
    void bitmapOfAnySizeOpensOrFailsWithoutExhaustingMemory_data()
    {
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<QStringList>("messages");
        const QStringList either {"Bitmap image is not valid", "Stream read error"};
        const QStringList notValid {"Bitmap image is not valid"};
        const QStringList loaded {"(loaded)"};
        const QByteArray claim = Headers(100000, 100000, 24);
        QTest::newRow("100000 x 100000, headers only") << claim << qint64(54) << either;
        QTest::newRow("100000 x 100000, all its 30 GB")
            << claim << 54 + 300000LL * 100000 << loaded;
        QTest::newRow("100000 x 100000 top-down, all its 30 GB")
            << Headers(100000, -100000, 24) << 54 + 300000LL * 100000 << loaded;
        QTest::newRow("A0 sheet at 600 dpi, 1.68 GB")
            << Headers(20000, 28000, 24) << 54 + 60000LL * 28000 << loaded;
        QTest::newRow("65536 x 65536 32-bit, all its 16 GB")
            << Headers(65536, 65536, 32) << 54 + 262144LL * 65536 << loaded;
        QTest::newRow("16385 x 16384 8-bit, past Qt's limit")
            << Headers(16385, 16384, 8) << 54 + 1024 + 16388LL * 16384 << loaded;
        const int side = Picture::MaxSide + 1;
        QTest::newRow("wider than the view can show")
            << Headers(side, 1, 24) << 54 + (3LL * side + 3) / 4 * 4
            << QStringList {QStringLiteral("Bitmap image is too large: %1 x 1 pixels, and the view "
                                           "shows at most %2 a side")
                                .arg(side)
                                .arg(Picture::MaxSide)};
        QTest::newRow("1 x -2147483648")
            << Headers(1, INT32_MIN, 24) << qint64(1 << 20) << notValid;
        QTest::newRow("-1 x 1") << Headers(-1, 1, 24) << qint64(58) << notValid;
        // Rows that end early, and no end-of-bitmap mark: there is not enough data for the
        // picture the headers claim.
        QByteArray runLength = Headers(16384, 16384, 8, 1);
        qToLittleEndian<quint32>(54 + 1024, runLength.data() + 10);
        runLength += QByteArray(1024, '\0') + QByteArray("\x00\x00\x00\x00", 4);
        QTest::newRow("run-length 16384 x 16384 in a few bytes")
            << runLength << qint64(runLength.size()) << either;
    }

    void bitmapOfAnySizeOpensOrFailsWithoutExhaustingMemory()
    {
        QFETCH(QByteArray, headers);
        QFETCH(qint64, fileSize);
        QFETCH(QStringList, messages);
        QTemporaryDir dir;
        const QString path = dir.filePath("claim.bmp");
        WriteSparse(path, headers, fileSize);
        const long before = PeakResidentMegabytes();
        QElapsedTimer timer;
        timer.start();
        const QString failure = FailureOf(path);
        QVERIFY2(messages.contains(failure), qPrintable(failure));
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(PeakResidentMegabytes() - before < 100);
    }

    // A picture the address space cannot hold: the reason, not "not valid".
    void bitmapBeyondTheAddressSpaceIsTooLarge()
    {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("the sanitizers' own mappings need the address space this test takes away");
#endif
        QTemporaryDir dir;
        const QString path = dir.filePath("a0.bmp");
        WriteSparse(path, Headers(20000, 28000, 24), 54 + 60000LL * 28000);
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = 1024ULL * 1024 * 1024; // more than the process has, less than the file
        long pages = 0;
        if (std::FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        tight.rlim_cur += rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
        QCOMPARE(setrlimit(RLIMIT_AS, &tight), 0);
        const QString failure = FailureOf(path);
        setrlimit(RLIMIT_AS, &saved);
        QCOMPARE(failure, QStringLiteral("Bitmap image is too large: 20000 x 28000 pixels, and "
                                         "there is no room for them: Cannot allocate memory"));
    }
};

QTEST_MAIN(HugeBitmapsTest)
#include "HugeBitmaps_test.moc"
