// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/Errors.h"
#include "picture/Picture.h"
#include "picture/LittleEndian.h"
#include "picture/PictureLoader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <array>
#include <bit>

using namespace carteva;

namespace {

// ---- A small BMP writer: the header forms and pixel layouts the loader has to read ----

struct BmpForm
{
    int bitCount = 24;
    quint32 headerSize = 40;
    quint32 compression = 0; // 0 plain, 1 run-length 8, 2 run-length 4, 3 bit fields, 6 with alpha
    bool topDown = false;
    std::array<quint32, 4> masks {}; // red, green, blue, alpha
};

void Put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void Put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

// A colour's channels placed under the masks; the alpha channel is written as 0 (transparent).
quint32 PackUnderMasks(QRgb colour, const std::array<quint32, 4> &masks)
{
    const int channels[3] = {qRed(colour), qGreen(colour), qBlue(colour)};
    quint32 value = 0;
    for (int i = 0; i < 3; ++i) {
        const int bits = std::popcount(masks[i]);
        const int shift = std::countr_zero(masks[i]);
        const quint32 channel = quint32(channels[i]);
        value |= (bits <= 8 ? channel >> (8 - bits) : channel << (bits - 8)) << shift;
    }
    return value;
}

QByteArray PixelRows(const QImage &source, const BmpForm &form)
{
    std::array<quint32, 4> masks = form.masks;
    if (form.compression == 0 && form.bitCount == 16)
        masks = {0x7C00, 0x03E0, 0x001F, 0};
    if (form.compression == 0 && form.bitCount == 32)
        masks = {0xFF0000, 0xFF00, 0xFF, 0};

    QByteArray out;
    for (int row = 0; row < source.height(); ++row) {
        const int y = form.topDown ? row : source.height() - 1 - row;
        if (form.compression == 1 || form.compression == 2) {
            // One run of one pixel per pixel, then end of row.
            for (int x = 0; x < source.width(); ++x) {
                const int index = source.pixelIndex(x, y);
                out.append(char(1)).append(char(form.compression == 2 ? index << 4 : index));
            }
            out.append(char(0)).append(char(0));
            continue;
        }
        QByteArray line;
        quint32 bits = 0;
        int bitsHeld = 0;
        for (int x = 0; x < source.width(); ++x) {
            if (form.bitCount <= 8) {
                bits = (bits << form.bitCount) | quint32(source.pixelIndex(x, y));
                bitsHeld += form.bitCount;
                if (bitsHeld == 8) {
                    line.append(char(bits));
                    bits = 0;
                    bitsHeld = 0;
                }
            } else if (form.bitCount == 24) {
                const QRgb c = source.pixel(x, y);
                line.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
            } else if (form.bitCount == 16) {
                Put16(line, quint16(PackUnderMasks(source.pixel(x, y), masks)));
            } else {
                Put32(line, PackUnderMasks(source.pixel(x, y), masks));
            }
        }
        if (bitsHeld > 0)
            line.append(char(bits << (8 - bitsHeld)));
        while (line.size() % 4 != 0)
            line.append('\0');
        out += line;
    }
    if (form.compression == 1 || form.compression == 2)
        out.append(char(0)).append(char(1));
    return out;
}

QByteArray WriteBmp(const QImage &source, const BmpForm &form)
{
    const QByteArray pixels = PixelRows(source, form);
    const int colours = form.bitCount <= 8 ? source.colorCount() : 0;

    QByteArray info;
    if (form.headerSize == 12) {
        Put32(info, 12);
        Put16(info, quint16(source.width()));
        Put16(info, quint16(source.height()));
        Put16(info, 1);
        Put16(info, quint16(form.bitCount));
    } else {
        Put32(info, form.headerSize);
        Put32(info, quint32(source.width()));
        Put32(info, quint32(form.topDown ? -source.height() : source.height()));
        Put16(info, 1);
        Put16(info, quint16(form.bitCount));
        Put32(info, form.compression);
        Put32(info, quint32(pixels.size()));
        Put32(info, 2835);
        Put32(info, 2835);
        Put32(info, quint32(colours));
        Put32(info, 0);
        const int masksInHeader = form.headerSize >= 56 ? 4 : form.headerSize >= 52 ? 3 : 0;
        for (int i = 0; i < masksInHeader; ++i)
            Put32(info, form.masks[i]);
        info.append(QByteArray(form.headerSize - info.size(), '\0'));
        if (form.headerSize == 40 && (form.compression == 3 || form.compression == 6)) {
            for (int i = 0; i < (form.compression == 6 ? 4 : 3); ++i)
                Put32(info, form.masks[i]);
        }
    }
    // A 12-byte header has no colour count: its palette is always full.
    const int entries = form.headerSize == 12 && colours > 0 ? 1 << form.bitCount : colours;
    QByteArray palette;
    for (int i = 0; i < entries; ++i) {
        const QRgb c = i < colours ? source.color(i) : qRgb(0, 0, 0);
        palette.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        if (form.headerSize != 12)
            palette.append('\0');
    }

    QByteArray file("BM");
    const quint32 offset = quint32(14 + info.size() + palette.size());
    Put32(file, offset + quint32(pixels.size()));
    Put32(file, 0);
    Put32(file, offset);
    return file + info + palette + pixels;
}

// ---- Pictures to write ----

QImage PaletteImage(int colours, QSize size = {5, 3})
{
    static const QRgb table[]
        = {qRgb(10, 20, 30), qRgb(200, 150, 100), qRgb(255, 0, 0),   qRgb(0, 255, 0),
           qRgb(0, 0, 255),  qRgb(255, 255, 255), qRgb(128, 64, 32), qRgb(1, 2, 3)};
    QImage image(size, QImage::Format_Indexed8);
    image.setColorTable(QList<QRgb>(std::begin(table), std::begin(table) + colours));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, uint((x + 2 * y + x * y / 7) % colours));
    return image;
}

// Channels of 0 and 255 only survive 5-bit fields exactly.
QImage ColourImage(bool pureChannels, QSize size = {5, 3})
{
    static const QRgb pure[] = {qRgb(255, 0, 0), qRgb(0, 255, 0),     qRgb(0, 0, 255),
                                qRgb(0, 0, 0),   qRgb(255, 255, 255), qRgb(255, 255, 0)};
    static const QRgb rich[] = {qRgb(12, 34, 56),  qRgb(255, 128, 0), qRgb(7, 200, 99),
                                qRgb(250, 1, 130), qRgb(0, 0, 0),     qRgb(255, 255, 255)};
    const QRgb *colours = pureChannels ? pure : rich;
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, colours[(x + 2 * y + x * y / 7) % 6]);
    return image;
}

QByteArray Patched(QByteArray bytes, qsizetype at, quint32 value, int size = 4)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char(value >> (8 * i));
    return bytes;
}

QByteArray SampleBytes(const QString &name)
{
    QFile file(QStringLiteral(CARTEVA_TEST_DATA_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing sample %s", qPrintable(name));
    return file.readAll();
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QString MessageOf(const QString &path)
{
    try {
        LoadPicture(path);
    } catch (const Error &error) {
        return QString::fromStdString(error.what());
    }
    return QStringLiteral("(loaded)");
}

enum class Make { File, Directory, Nothing };

const QString StreamReadError = QStringLiteral("Stream read error");
const QString BitmapNotValid = QStringLiteral("Bitmap image is not valid");
const QString MetafileNotValid = QStringLiteral("Metafile is not valid");
const QString IconNotValid = QStringLiteral("Icon image is not valid");

} // namespace

class PictureLoaderTest : public QObject
{
    Q_OBJECT

private slots:
    void BitmapFormsDecodeToTheirPixels_data();
    void BitmapFormsDecodeToTheirPixels();
    void FailuresGiveTheirMessages_data();
    void FailuresGiveTheirMessages();
    void GoodFilesLoadAtTheirSize_data();
    void GoodFilesLoadAtTheirSize();
    void MetafilesShowTheirDrawingOnWhite_data();
    void MetafilesShowTheirDrawingOnWhite();
    void LargeBitmapLoadsPastQtAllocationLimit();
    void BitmapsReadInPlaceOrInBandsAsAWhole_data();
    void BitmapsReadInPlaceOrInBandsAsAWhole();
    void ShownColourIsTheNearestThePictureHolds_data();
    void ShownColourIsTheNearestThePictureHolds();
    void FileShortenedAfterOpeningGivesClearError_data();
    void FileShortenedAfterOpeningGivesClearError();
    void DamagedFilesFailCleanly_data();
    void DamagedFilesFailCleanly();
};

void PictureLoaderTest::BitmapFormsDecodeToTheirPixels_data()
{
    QTest::addColumn<QImage>("source");
    QTest::addColumn<QByteArray>("file");

    const auto row = [](const char *name, const QImage &source, const BmpForm &form) {
        QTest::newRow(name) << source << WriteBmp(source, form);
    };
    const std::array<quint32, 4> rgb565 {0xF800, 0x07E0, 0x001F, 0};
    const std::array<quint32, 4> bgr888 {0xFF, 0xFF00, 0xFF0000, 0};
    const std::array<quint32, 4> argb {0xFF0000, 0xFF00, 0xFF, 0xFF000000};

    row("1 bit", PaletteImage(2), {1});
    row("4 bit", PaletteImage(5), {4});
    row("8 bit", PaletteImage(7), {8});
    row("8 bit top-down", PaletteImage(7), {8, 40, 0, true});
    row("16 bit", ColourImage(true), {16});
    row("16 bit fields 565", ColourImage(true), {16, 40, 3, false, rgb565});
    row("24 bit", ColourImage(false), {24});
    row("24 bit top-down", ColourImage(false), {24, 40, 0, true});
    row("32 bit", ColourImage(false), {32});
    row("32 bit fields, blue high", ColourImage(false), {32, 40, 3, false, bgr888});
    row("32 bit alpha fields, shown opaque", ColourImage(false), {32, 40, 6, false, argb});
    row("12-byte header 8 bit", PaletteImage(7), {8, 12});
    row("12-byte header 24 bit", ColourImage(false), {24, 12});
    row("52-byte header 8 bit", PaletteImage(7), {8, 52});
    row("56-byte header 4 bit", PaletteImage(5), {4, 56});
    row("52-byte header 16 bit fields", ColourImage(true), {16, 52, 3, false, rgb565});
    row("56-byte header 32 bit alpha fields", ColourImage(false), {32, 56, 6, false, argb});
    row("108-byte header 32 bit fields", ColourImage(false), {32, 108, 3, false, bgr888});
    row("124-byte header 32 bit alpha fields", ColourImage(false), {32, 124, 3, false, argb});
    row("124-byte header 24 bit", ColourImage(false), {24, 124});
    row("run-length 8", PaletteImage(7), {8, 40, 1});
    row("run-length 4", PaletteImage(5), {4, 40, 2});
}

void PictureLoaderTest::BitmapFormsDecodeToTheirPixels()
{
    QFETCH(QImage, source);
    QFETCH(QByteArray, file);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.bmp"));
    WriteFile(path, file);

    Picture picture;
    QVERIFY_THROWS_NO_EXCEPTION(picture = LoadPicture(path));
    QCOMPARE(picture.Kind(), PictureKind::Bitmap);
    QVERIFY(!picture.Image().hasAlphaChannel());
    QCOMPARE(picture.Image().convertToFormat(QImage::Format_RGB32),
             source.convertToFormat(QImage::Format_RGB32));
}

void PictureLoaderTest::FailuresGiveTheirMessages_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Make>("make");
    QTest::addColumn<QString>("message"); // {path} stands for the full path

    const QByteArray rgb = WriteBmp(ColourImage(false), {24});
    const QByteArray palette = WriteBmp(PaletteImage(7), {8});
    const QByteArray runLength = WriteBmp(PaletteImage(7), {8, 40, 1});
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ColourImage(false).save(&buffer, "PNG");
    }
    const auto file
        = [](const char *row, const char *name, const QByteArray &content, const QString &message) {
              QTest::newRow(row) << QString::fromLatin1(name) << content << Make::File << message;
          };
    const auto sample = [&](const char *name, const QString &message) {
        file(name, name, SampleBytes(QString::fromLatin1(name)), message);
    };

    QTest::newRow("unknown extension")
        << "photo.jpg" << rgb << Make::File << "Unknown picture file extension (.jpg)";
    QTest::newRow("unknown extension keeps its case")
        << "photo.JPG" << rgb << Make::File << "Unknown picture file extension (.JPG)";
    QTest::newRow("no extension") << "photo" << rgb << Make::File
                                  << "Unknown picture file extension (.)";
    QTest::newRow("dot in a folder name only")
        << "maps.v2/photo" << QByteArray() << Make::Nothing << "Unknown picture file extension (.)";
    QTest::newRow("missing file") << "missing.bmp" << QByteArray() << Make::Nothing
                                  << "Cannot open file \"{path}\". No such file or directory";
    QTest::newRow("directory") << "folder.bmp" << QByteArray() << Make::Directory
                               << "Cannot open file \"{path}\". Is a directory";

    file("PNG named .bmp", "map.bmp", png, BitmapNotValid);
    file("empty", "map.bmp", QByteArray(), StreamReadError);
    file("file header only", "map.bmp", rgb.left(14), StreamReadError);
    file("info header cut", "map.bmp", rgb.left(30), StreamReadError);
    file("palette cut", "map.bmp", palette.left(14 + 40 + 10), StreamReadError);
    file("pixels cut by one byte", "map.bmp", rgb.chopped(1), StreamReadError);
    file("run-length data cut", "map.bmp", runLength.chopped(6), StreamReadError);
    file("bad magic", "map.bmp", Patched(rgb, 0, 'X', 1), BitmapNotValid);
    file("two planes", "map.bmp", Patched(rgb, 26, 2, 2), BitmapNotValid);
    file("bit count 7", "map.bmp", Patched(rgb, 28, 7, 2), BitmapNotValid);
    file("header size 99", "map.bmp", Patched(rgb, 14, 99), BitmapNotValid);
    file("100000 x 100000 in a few bytes", "map.bmp",
         Patched(Patched(rgb, 18, 100000), 22, 100000), StreamReadError);
    file("zero width", "map.bmp", Patched(rgb, 18, 0), BitmapNotValid);
    file("JPEG compression", "map.bmp", Patched(rgb, 30, 4), BitmapNotValid);
    file("run-length on 24 bits", "map.bmp", Patched(rgb, 30, 1), BitmapNotValid);
    file("top-down run-length", "map.bmp", Patched(runLength, 22, quint32(-3)), BitmapNotValid);
    file("10-bit channels", "map.bmp",
         WriteBmp(ColourImage(false), {32, 40, 3, false, {0x3FF00000, 0xFFC00, 0x3FF, 0}}),
         BitmapNotValid);
    file("mask with a gap", "map.bmp",
         Patched(WriteBmp(ColourImage(true), {16, 40, 3, false, {0xF800, 0x07E0, 0x001F, 0}}), 54,
                 0xF00F),
         BitmapNotValid);
    file("more colours than 256", "map.bmp", Patched(palette, 46, 257), BitmapNotValid);

    sample("trunc.emf", MetafileNotValid);
    sample("garbage.emf", MetafileNotValid);
    sample("trunc.wmf", MetafileNotValid);
    sample("garbage.wmf", MetafileNotValid);
    sample("bad.ico", IconNotValid);
    sample("fake.ico", IconNotValid);
    file("icon images past the end", "multi.ico", SampleBytes("multi.ico").left(100),
         StreamReadError);
    file("placeable metafile of 0 units per inch", "zero.wmf",
         Patched(SampleBytes("placeable96.wmf"), 14, 0, 2), MetafileNotValid);
}

void PictureLoaderTest::FailuresGiveTheirMessages()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(Make, make);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (make == Make::File)
        WriteFile(path, content);
    else if (make == Make::Directory)
        QVERIFY(QDir().mkpath(path));

    QCOMPARE(MessageOf(path), QString(message).replace(QStringLiteral("{path}"), path));
}

void PictureLoaderTest::GoodFilesLoadAtTheirSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<PictureKind>("kind");
    QTest::addColumn<QSize>("size");

    const auto sample = [](const char *name, PictureKind kind, QSize size) {
        QTest::newRow(name) << QString::fromLatin1(name) << SampleBytes(QString::fromLatin1(name))
                            << kind << size;
    };
    QTest::newRow("MAP.BMP") << "MAP.BMP" << WriteBmp(ColourImage(false), {24})
                             << PictureKind::Bitmap << QSize(5, 3);
    // Odd bit-field masks load: an empty channel reads as 0, bits past the pixel read as 0.
    const QByteArray fields565 = WriteBmp(
        ColourImage(true), {16, 40, 3, false, std::array<quint32, 4> {0xF800, 0x07E0, 0x001F, 0}});
    const auto masked = [&](const char *name, quint32 red, quint32 green, quint32 blue) {
        QTest::newRow(name) << "map.bmp"
                            << Patched(Patched(Patched(fields565, 54, red), 58, green), 62, blue)
                            << PictureKind::Bitmap << QSize(5, 3);
    };
    masked("empty blue mask (8-8-0)", 0xFF00, 0x00FF, 0);
    masked("every mask empty", 0, 0, 0);
    masked("overlapping masks", 0xFF00, 0x0FF0, 0x00FF);
    masked("mask wider than the pixel", 0xFF0000, 0xFF00, 0xFF);
    sample("simple.emf", PictureKind::Metafile, {320, 200});
    sample("frame2x.emf", PictureKind::Metafile, {320, 200});
    sample("placeable96.wmf", PictureKind::Metafile, {320, 200});
    sample("placeable1440.wmf", PictureKind::Metafile, {21, 13});
    sample("plain.wmf", PictureKind::Metafile, {320, 200});
    sample("multi.ico", PictureKind::Icon, {256, 256});
    sample("single48.ico", PictureKind::Icon, {48, 48});
    // Without a placeable header or a window extent, the drawing's own bounds frame it.
    QByteArray unframed = SampleBytes("plain.wmf");
    unframed.remove(28, 10); // the window extent record
    QTest::newRow("metafile without any frame")
        << "unframed.wmf" << unframed << PictureKind::Metafile << QSize(301, 181);
    QTest::newRow("SIMPLE.EMF") << "SIMPLE.EMF" << SampleBytes("simple.emf")
                                << PictureKind::Metafile << QSize(320, 200);
}

void PictureLoaderTest::GoodFilesLoadAtTheirSize()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(PictureKind, kind);
    QFETCH(QSize, size);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    WriteFile(path, content);

    Picture picture;
    QVERIFY_THROWS_NO_EXCEPTION(picture = LoadPicture(path));
    QCOMPARE(picture.Kind(), kind);
    QCOMPARE(QSize(picture.Width(), picture.Height()), size);
    QCOMPARE(picture.Image().size(), size);
}

void PictureLoaderTest::MetafilesShowTheirDrawingOnWhite_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("simple.emf") << "simple.emf";
    QTest::newRow("frame2x.emf") << "frame2x.emf";
    QTest::newRow("placeable96.wmf") << "placeable96.wmf";
    QTest::newRow("plain.wmf") << "plain.wmf";
}

// The drawing: a green rectangle from 60,50 to 260,150 and red lines, on a 320 x 200 frame.
void PictureLoaderTest::MetafilesShowTheirDrawingOnWhite()
{
    QFETCH(QString, name);
    const QImage image = LoadPicture(QStringLiteral(CARTEVA_TEST_DATA_DIR "/") + name).Image();
    QCOMPARE(image.pixel(100, 120), qRgb(0, 255, 0));
    QCOMPARE(image.pixel(250, 60), qRgb(0, 255, 0));
    QCOMPARE(image.pixel(300, 20), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(30, 140), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(319, 199), qRgb(255, 255, 255));
}

// Qt refuses images above its allocation limit; a map bigger than that must load all the same,
// and the limit must stand again for other readers afterwards.
void PictureLoaderTest::LargeBitmapLoadsPastQtAllocationLimit()
{
    const int saved = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1);
    QImage source(1024, 512, QImage::Format_RGB32);
    source.fill(qRgb(1, 2, 3));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.bmp"));
    // 32 bits: plain 24-bit bitmaps do not go through Qt's reader.
    WriteFile(path, WriteBmp(source, {32}));

    const Picture picture = LoadPicture(path);
    const int after = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(saved);
    QCOMPARE(picture.Image().size(), source.size());
    QCOMPARE(picture.Image().pixel(1023, 511), qRgb(1, 2, 3));
    QCOMPARE(after, 1);
}

void PictureLoaderTest::BitmapsReadInPlaceOrInBandsAsAWhole_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected"); // null: as Qt reads the file
    const auto row = [](const char *name, const QByteArray &file, const QImage &expected = {}) {
        QTest::newRow(name) << file << expected;
    };
    // Widths 1 to 4 give every row padding, 3 bytes to none.
    for (int width = 1; width <= 4; ++width)
        QTest::addRow("width %d", width) << WriteBmp(ColourImage(false).copy(0, 0, width, 3), {24})
                                         << QImage();
    row("top-down", WriteBmp(ColourImage(false), {24, 40, 0, true}));
    QByteArray gap = WriteBmp(ColourImage(false), {24});
    gap.insert(54, QByteArray(6, '\x7f'));
    row("pixels after a gap", Patched(gap, 10, 60));
    row("no resolution", Patched(Patched(WriteBmp(ColourImage(false), {24}), 38, 0), 42, 0));

    // Large enough for several pages of rows and several bands of run-length rows.
    const QSize large(37, 150);
    const std::array<quint32, 4> rgb565 {0xF800, 0x07E0, 0x001F, 0};
    const QImage pure = ColourImage(true, large);
    row("large 1 bit", WriteBmp(PaletteImage(2, large), {1}));
    row("large 4 bit", WriteBmp(PaletteImage(5, large), {4}));
    row("large 8 bit", WriteBmp(PaletteImage(7, large), {8}));
    row("large 8 bit top-down", WriteBmp(PaletteImage(7, large), {8, 40, 0, true}));
    row("large 16 bit", WriteBmp(pure, {16}), pure); // Qt widens 5 bits to 248, not 255
    row("large 16 bit fields 565", WriteBmp(pure, {16, 40, 3, false, rgb565}), pure);
    row("large 24 bit", WriteBmp(ColourImage(false, large), {24}));
    row("large 24 bit top-down", WriteBmp(ColourImage(false, large), {24, 40, 0, true}));
    row("large 32 bit", WriteBmp(ColourImage(false, large), {32}));
    row("large 32 bit fields, blue high",
        WriteBmp(ColourImage(false, large), {32, 40, 3, false, {0xFF, 0xFF00, 0xFF0000, 0}}));
    row("large run-length 8", WriteBmp(PaletteImage(7, large), {8, 40, 1}));
    row("large run-length 4", WriteBmp(PaletteImage(5, large), {4, 40, 2}));

    // A skip from the bottom row past a band's start, a run there, and the end of the bitmap:
    // skipped pixels show the first palette colour.
    const QImage palette = PaletteImage(7, {10, 150});
    QByteArray codes;
    codes.append("\x0a\x02\x00\x00", 4); // the bottom row in colour 2, end of row
    codes.append("\x00\x02\x03\x45", 4); // 3 right, 69 up: row 70 of the codes
    codes.append("\x04\x05\x00\x01", 4); // 4 pixels of colour 5, end of bitmap
    QImage skipped(palette.size(), QImage::Format_RGB32);
    skipped.fill(palette.color(0));
    for (int x = 0; x < 10; ++x)
        skipped.setPixel(x, 149, palette.color(2));
    for (int x = 3; x < 7; ++x)
        skipped.setPixel(x, 149 - 70, palette.color(5));
    QByteArray skipFile = WriteBmp(palette, {8, 40, 1});
    const qsizetype pixelsAt = ReadU32(skipFile, 10);
    skipFile = Patched(skipFile.left(pixelsAt) + codes, 34, quint32(codes.size()));
    row("run-length 8 skipping across a band", skipFile, skipped);
}

// Pictures are read where they are looked at: parts read in any order, bottom first, from a file
// just opened (so run-length bands decode on their own) show what the whole file decodes to.
void PictureLoaderTest::BitmapsReadInPlaceOrInBandsAsAWhole()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.bmp"));
    WriteFile(path, file);
    const QImage read = QImageReader(path, "bmp").read();
    QVERIFY(!read.isNull());
    if (expected.isNull())
        expected = read.convertToFormat(QImage::Format_RGB32);

    const Picture inParts = LoadPicture(path);
    QCOMPARE(inParts.Size(), expected.size());
    constexpr int tile = 16;
    for (int y = (expected.height() - 1) / tile * tile; y >= 0; y -= tile) {
        for (int x = 0; x < expected.width(); x += tile) {
            const QRect area(x, y, tile, tile);
            QCOMPARE(inParts.Region(area), expected.copy(area & expected.rect()));
        }
    }
    const Picture whole = LoadPicture(path);
    const QImage image = whole.Image();
    QCOMPARE(image, expected);
    QCOMPARE(image.dotsPerMeterX(), read.dotsPerMeterX());
    QCOMPARE(image.dotsPerMeterY(), read.dotsPerMeterY());
}

// Marks and waypoints show over the picture in the colour it would store for theirs: a palette
// bitmap's nearest entry, on 24 bits exactly orange.
void PictureLoaderTest::ShownColourIsTheNearestThePictureHolds_data()
{
    BitmapsReadInPlaceOrInBandsAsAWhole_data();
}

void PictureLoaderTest::ShownColourIsTheNearestThePictureHolds()
{
    QFETCH(QByteArray, file);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.bmp"));
    WriteFile(path, file);
    const Picture picture = LoadPicture(path);
    const QImage image = picture.Image();
    const QRgb orange = qRgb(255, 128, 0);
    const auto distance = [orange](QRgb c) {
        return qAbs(qRed(c) - 255) + qAbs(qGreen(c) - 128) + qAbs(qBlue(c));
    };
    const QRgb shown = picture.ShownColour(orange);
    QCOMPARE(qAlpha(shown), 255);
    if (image.width() >= 3)
        QVERIFY(distance(shown) <= distance(image.pixel(1, 0)));
    if (file.at(28) == 24)
        QCOMPARE(shown, orange);
}

void PictureLoaderTest::FileShortenedAfterOpeningGivesClearError_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QPoint>("lost"); // a pixel stored past the new end
    QTest::addColumn<QRgb>("shown"); // what it shows: its stored value 0
    const QSize size(700, 300); // rows over many pages
    const QRgb firstColour = PaletteImage(7).color(0);
    QTest::newRow("24 bit, bottom-up")
        << WriteBmp(ColourImage(false, size), {24}) << QPoint(699, 0) << qRgb(0, 0, 0);
    QTest::newRow("8 bit, top-down") << WriteBmp(PaletteImage(7, size), {8, 40, 0, true})
                                     << QPoint(699, 299) << firstColour;
    QTest::newRow("run-length 8") << WriteBmp(PaletteImage(7, size), {8, 40, 1})
                                  << QPoint(699, 0) << firstColour;
}

// The file is mapped: its pages past a new end cannot be read. The first read that meets them
// fails with a message; they show black from then on.
void PictureLoaderTest::FileShortenedAfterOpeningGivesClearError()
{
    QFETCH(QByteArray, file);
    QFETCH(QPoint, lost);
    QFETCH(QRgb, shown);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.bmp"));
    WriteFile(path, file);
    Picture picture = LoadPicture(path);
    QVERIFY(QFile::resize(path, 2000));

    const QRect all(QPoint(0, 0), picture.Size());
    QVERIFY_THROWS_EXCEPTION(Error, picture.Region(all));
    try {
        picture.Region(all);
    } catch (const Error &error) {
        QFAIL(error.what());
    }
    QCOMPARE(picture.Pixel(lost.x(), lost.y()), shown);
    QCOMPARE(QFile(path).size(), 2000);
}

void PictureLoaderTest::DamagedFilesFailCleanly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("24 bit") << "map.bmp" << WriteBmp(ColourImage(false), {24});
    QTest::newRow("run-length 4") << "map.bmp" << WriteBmp(PaletteImage(5), {4, 40, 2});
    QTest::newRow("56-byte header") << "map.bmp" << WriteBmp(PaletteImage(7), {8, 56});
    QTest::newRow("icon") << "single48.ico" << SampleBytes("single48.ico");
    QTest::newRow("enhanced metafile") << "simple.emf" << SampleBytes("simple.emf");
    QTest::newRow("metafile") << "placeable96.wmf" << SampleBytes("placeable96.wmf");
}

// Seeded random damage to the headers and the first records: every outcome is a picture or an
// Error, never a crash, a hang or another exception.
void PictureLoaderTest::DamagedFilesFailCleanly()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QRandomGenerator random(20240611);
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = content;
        const int changes = 1 + int(random.bounded(4));
        for (int i = 0; i < changes; ++i) {
            const qsizetype at = random.bounded(qMin<int>(int(damaged.size()), 160));
            damaged[at] = char(random.bounded(256));
        }
        if (random.bounded(4) == 0)
            damaged.truncate(random.bounded(int(damaged.size())));
        WriteFile(path, damaged);
        try {
            LoadPicture(path);
        } catch (const Error &) { }
    }
}

QTEST_MAIN(PictureLoaderTest)
#include "PictureLoader_test.moc"
