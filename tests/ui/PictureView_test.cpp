// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/Errors.h"
#include "gpx/GpxLines.h"
#include "gpx/GpxOverlay.h"
#include "picture/Picture.h"
#include "ui/ErrorHandler.h"
#include "ui/PictureLayers.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureView.h"
#include "support/FakePlatform.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace carteva;

namespace {

QImage Filled(QSize size, QRgb colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QImage PaletteImage(QImage::Format format, const QList<QRgb> &palette)
{
    QImage image(4, 4, format);
    image.setColorTable(palette);
    image.fill(0);
    // Two pixels that the tests paint, of another index than their neighbours.
    image.setPixel(2, 1, 1);
    image.setPixel(3, 3, 1);
    return image;
}

// Each pixel's colour tells where it is.
QRgb ColourOfPixel(QPoint pixel)
{
    return qRgb(pixel.x() & 0xFF, pixel.y() & 0xFF, (pixel.x() >> 8) << 4 | pixel.y() >> 8);
}

QImage CoordinateImage(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, ColourOfPixel({x, y}));
    return image;
}

// A 1000 x 800 picture in sight through 302 x 202 of the area, beside its scroll bars.
bool ShowMapInArea(PictureScrollArea &area)
{
    area.View().SetPicture(Picture(PictureKind::Bitmap, CoordinateImage({1000, 800})));
    area.resize(316, 216);
    area.show();
    return QTest::qWaitForWindowExposed(&area);
}

TCalibPoint At(std::int32_t x, std::int32_t y)
{
    TCalibPoint point;
    point.X = x;
    point.Y = y;
    return point;
}

QString MessageOfMarking(PictureView &view, std::int32_t x, std::int32_t y)
{
    PictureLayers layers(view);
    try {
        layers.ShowMarks(std::vector {At(x, y)});
    } catch (const Error &error) {
        return QString::fromStdString(error.what());
    }
    return QString();
}

constexpr QRgb kRed = qRgb(255, 0, 0);

} // namespace

class PictureViewTest : public QObject
{
    Q_OBJECT

private slots:
    void ViewTakesTheSizeOfPicturesWithArea_data();
    void ViewTakesTheSizeOfPicturesWithArea();
    void FailedLoadKeepsPictureAndSize();
    void ViewShowsPictureUnscaledFromTopLeft();
    void FirstDrawingWithoutPictureMakesWhiteBitmapOfViewSize();
    void DrawingOnIconOrMetafileFails_data();
    void DrawingOnIconOrMetafileFails();
    void MarksCoverFivePixelsEachOverThePicture_data();
    void MarksCoverFivePixelsEachOverThePicture();
    void PaletteBitmapShowsNearestColour_data();
    void PaletteBitmapShowsNearestColour();
    void WhatWasDrawnLastCoversTheRest();
    void PointerMovesReportPicturePixelsAndModifiers();
    void DragOutsideReportsPositionsBeyondTheView();
    void ClickNeedsLeftPressAndReleaseInside_data();
    void ClickNeedsLeftPressAndReleaseInside();
    void PointerPicksTheFloorOfItsPictureCoordinate_data();
    void PointerPicksTheFloorOfItsPictureCoordinate();
    void EveryDevicePixelShowsThePixelItPicks_data();
    void EveryDevicePixelShowsThePixelItPicks();
    void ScrolledPictureIsPickedWhereItIsShown_data();
    void ScrolledPictureIsPickedWhereItIsShown();
    void WheelScrollsAndZoomsAboutThePointer_data();
    void WheelScrollsAndZoomsAboutThePointer();
    void ZoomKeysWorkWhereverTheFocusIs();
    void FileShortenedWhileShownIsReportedOnce();
};

void PictureViewTest::ViewTakesTheSizeOfPicturesWithArea_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QSize>("viewSize");
    QTest::newRow("100 x 100") << QSize(100, 100) << QSize(100, 100);
    QTest::newRow("larger than at start") << QSize(1000, 700) << QSize(1000, 700);
    QTest::newRow("one pixel") << QSize(1, 1) << QSize(1, 1);
    QTest::newRow("empty picture") << QSize(0, 0) << PictureView::StartSize;
}

void PictureViewTest::ViewTakesTheSizeOfPicturesWithArea()
{
    QFETCH(QSize, pictureSize);
    QFETCH(QSize, viewSize);
    QWidget window;
    PictureView view(&window);
    view.move(16, 58);
    QCOMPARE(view.size(), PictureView::StartSize);

    const QImage image = pictureSize.isEmpty() ? QImage() : Filled(pictureSize, qRgb(1, 2, 3));
    view.SetPicture(Picture(PictureKind::Metafile, image));
    QCOMPARE(view.size(), viewSize);
    QCOMPARE(view.pos(), QPoint(16, 58));
}

void PictureViewTest::FailedLoadKeepsPictureAndSize()
{
    PictureView view;
    view.SetPicture(Picture(PictureKind::Bitmap, Filled({100, 100}, qRgb(9, 9, 9))));
    const qint64 key = view.GetPicture().Image().cacheKey();

    QVERIFY_THROWS_EXCEPTION(Error, view.LoadFromFile(QStringLiteral("/nonexistent/map.bmp")));
    QCOMPARE(view.GetPicture().Image().cacheKey(), key);
    QCOMPARE(view.size(), QSize(100, 100));
}

void PictureViewTest::ViewShowsPictureUnscaledFromTopLeft()
{
    QImage image = Filled({40, 30}, qRgb(0, 0, 255));
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(39, 29, qRgb(0, 255, 0));
    PictureView view;
    view.SetPicture(Picture(PictureKind::Bitmap, image));
    PictureLayers layers(view);
    layers.ShowMarks(std::vector {At(20, 10)});

    const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(40, 30));
    QCOMPARE(shown.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(shown.pixel(39, 29), qRgb(0, 255, 0));
    QCOMPARE(shown.pixel(20, 10), kRed);
    QCOMPARE(shown.pixel(21, 11), qRgb(0, 0, 255));
    QCOMPARE(shown.pixel(5, 5), qRgb(0, 0, 255));
    // Over the picture, never in it.
    QCOMPARE(view.GetPicture().Image(), image);
}

void PictureViewTest::FirstDrawingWithoutPictureMakesWhiteBitmapOfViewSize()
{
    PictureView view;
    QVERIFY(view.GetPicture().IsEmpty());

    PictureLayers layers(view);
    layers.ShowMarks(std::vector {At(3, 4)});
    const Picture &picture = view.GetPicture();
    QCOMPARE(picture.Kind(), PictureKind::Bitmap);
    QCOMPARE(picture.Image().size(), PictureView::StartSize);
    QCOMPARE(view.ShownImage().pixel(3, 4), kRed);
    QCOMPARE(view.ShownImage().pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(view.ShownImage().pixel(632, 409), qRgb(255, 255, 255));
    QCOMPARE(view.size(), PictureView::StartSize);
}

void PictureViewTest::DrawingOnIconOrMetafileFails_data()
{
    QTest::addColumn<PictureKind>("kind");
    QTest::addColumn<QPoint>("pixel");
    QTest::newRow("icon") << PictureKind::Icon << QPoint(1, 1);
    QTest::newRow("metafile") << PictureKind::Metafile << QPoint(1, 1);
    QTest::newRow("metafile, pixel outside") << PictureKind::Metafile << QPoint(-5, 1);
    QTest::newRow("empty metafile") << PictureKind::Metafile << QPoint(0, 0);
}

void PictureViewTest::DrawingOnIconOrMetafileFails()
{
    QFETCH(PictureKind, kind);
    QFETCH(QPoint, pixel);
    PictureView view;
    const QImage image = pixel == QPoint(0, 0) ? QImage() : Filled({8, 8}, qRgb(0, 0, 0));
    view.SetPicture(Picture(kind, image));

    QCOMPARE(MessageOfMarking(view, pixel.x(), pixel.y()),
             QStringLiteral("Can only modify an image if it contains a bitmap"));
    QCOMPARE(view.GetPicture().Kind(), kind);
}

void PictureViewTest::MarksCoverFivePixelsEachOverThePicture_data()
{
    QTest::addColumn<std::vector<TCalibPoint>>("points");
    QTest::addColumn<std::vector<QPoint>>("red");
    const auto plus = [](int x, int y) {
        return std::vector<QPoint> {{x, y}, {x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}};
    };
    QTest::newRow("no points") << std::vector<TCalibPoint> {} << std::vector<QPoint> {};
    QTest::newRow("centre and its four arms") << std::vector {At(4, 2)} << plus(4, 2);
    QTest::newRow("repeated points") << std::vector {At(4, 2), At(4, 2)} << plus(4, 2);
    QTest::newRow("in the corner: arms outside passed over")
        << std::vector {At(0, 0)} << std::vector<QPoint> {{0, 0}, {1, 0}, {0, 1}};
    QTest::newRow("outside, an arm reaching in")
        << std::vector {At(-1, 2), At(10, 2)} << std::vector<QPoint> {{0, 2}, {9, 2}};
    QTest::newRow("far outside, arms beyond the 32-bit range do not wrap")
        << std::vector {At(std::numeric_limits<std::int32_t>::max(), 2),
                        At(std::numeric_limits<std::int32_t>::min(), 2),
                        At(2, std::numeric_limits<std::int32_t>::max())}
        << std::vector<QPoint> {};
}

void PictureViewTest::MarksCoverFivePixelsEachOverThePicture()
{
    QFETCH(std::vector<TCalibPoint>, points);
    QFETCH(std::vector<QPoint>, red);
    PictureView view;
    const QImage before = Filled({10, 5}, qRgb(7, 7, 7));
    view.SetPicture(Picture(PictureKind::Bitmap, before));
    PictureLayers layers(view);
    layers.ShowMarks(points);

    QImage expected = before;
    for (const QPoint &pixel : red)
        expected.setPixel(pixel, kRed);
    QCOMPARE(view.ShownImage(), expected);
    QCOMPARE(view.GetPicture().Image(), before);
}

void PictureViewTest::PaletteBitmapShowsNearestColour_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<int>("index");

    const QList<QRgb> colours {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(128, 0, 0),
                               qRgb(255, 160, 0)};
    const QList<QRgb> blackAndWhite {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    const QRgb red = kRed, orange = qRgb(255, 128, 0), white = qRgb(255, 255, 255);
    const QImage indexed = PaletteImage(QImage::Format_Indexed8, colours);
    QTest::newRow("8 bit, red") << indexed << red << 2;
    QTest::newRow("8 bit, orange") << indexed << orange << 3;
    QTest::newRow("8 bit, exact white") << indexed << white << 1;
    QTest::newRow("1 bit, red is nearer black")
        << PaletteImage(QImage::Format_Mono, blackAndWhite) << red << 0;
    QTest::newRow("1 bit, orange is nearer white")
        << PaletteImage(QImage::Format_Mono, blackAndWhite) << orange << 1;
    QTest::newRow("1 bit LSB, orange is nearer white")
        << PaletteImage(QImage::Format_MonoLSB, blackAndWhite) << orange << 1;
}

void PictureViewTest::PaletteBitmapShowsNearestColour()
{
    QFETCH(QImage, image);
    QFETCH(QRgb, colour);
    QFETCH(int, index);
    const Picture picture(PictureKind::Bitmap, image);
    QCOMPARE(picture.ShownColour(colour), image.color(index));

    // The marks in the view: red's nearest entry, over the picture and never in it.
    PictureView view;
    view.SetPicture(Picture(PictureKind::Bitmap, image));
    PictureLayers layers(view);
    layers.ShowMarks(std::vector {At(2, 1)});
    QCOMPARE(view.ShownImage().pixel(2, 1), picture.ShownColour(kRed));
    QCOMPARE(view.ShownImage().pixel(3, 3), image.pixel(3, 3));
    QCOMPARE(view.GetPicture().Image(), image);
}

// As when everything was painted into the picture: a file loaded after the marks covers them,
// until the marks are shown again (a Save); a change of the points maps the files again.
void PictureViewTest::WhatWasDrawnLastCoversTheRest()
{
    constexpr QRgb orange = qRgb(255, 128, 0), paper = qRgb(7, 7, 7);
    PictureView view;
    view.SetPicture(Picture(PictureKind::Bitmap, Filled({20, 20}, paper)));
    PictureLayers layers(view);
    // (50, 14) is pixel (0, 0) and (49, 15) is (100, 100): (49.95, 14.05) is (5, 5).
    std::vector<TCalibPoint> points {At(0, 0), At(100, 100)};
    points[0].Lat = 50;
    points[0].Lon = 14;
    points[1].Lat = 49;
    points[1].Lon = 15;
    layers.ShowMarks(std::vector {At(5, 5)});
    GpxLines texts;
    texts.AddPoint(std::string_view("49.95"), std::string_view("14.05"));
    PositionList positions;
    positions.Add(texts);
    layers.AddOverlay(GpxOverlay(std::move(positions), PositionList(), false), MappingKind::TwoNearest,
                      points, false, {});
    QCOMPARE(view.ShownImage().pixel(5, 5), orange);
    QCOMPARE(view.ShownImage().pixel(6, 5), kRed);

    layers.ShowMarks(std::vector {At(5, 5)});
    QCOMPARE(view.ShownImage().pixel(5, 5), kRed);

    // (49.95, 14.05) is (10, 10) once the second point lies at (200, 200).
    points[1].X = points[1].Y = 200;
    layers.Follow(MappingKind::TwoNearest, points, false);
    QCOMPARE(view.ShownImage().pixel(10, 10), orange);
    QCOMPARE(view.ShownImage().pixel(5, 5), kRed);
    QCOMPARE(view.ShownImage().pixel(4, 4), paper);

    layers.ClearOverlays();
    QCOMPARE(view.ShownImage().pixel(10, 10), paper);
    QCOMPARE(view.GetPicture().Image(), Filled({20, 20}, paper));
}

void PictureViewTest::PointerMovesReportPicturePixelsAndModifiers()
{
    QWidget window;
    window.resize(700, 500);
    PictureView view(&window);
    view.move(16, 58);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(view.cursor().shape(), Qt::CrossCursor);
    QSignalSpy moves(&view, &PictureView::MouseMoved);

    QTest::mouseMove(&view, QPoint(5, 7));
    QTRY_VERIFY(!moves.isEmpty());
    QCOMPARE(moves.last().at(1).toInt(), 5);
    QCOMPARE(moves.last().at(2).toInt(), 7);

    QMouseEvent shifted(QEvent::MouseMove, QPointF(20, 30), view.mapToGlobal(QPointF(20, 30)),
                        Qt::NoButton, Qt::NoButton, Qt::ShiftModifier);
    QApplication::sendEvent(&view, &shifted);
    QCOMPARE(moves.last().at(0).value<Qt::KeyboardModifiers>(),
             Qt::KeyboardModifiers(Qt::ShiftModifier));
    QCOMPARE(moves.last().at(1).toInt(), 20);
    QCOMPARE(moves.last().at(2).toInt(), 30);
}

void PictureViewTest::DragOutsideReportsPositionsBeyondTheView()
{
    QWidget window;
    window.resize(700, 500);
    PictureView view(&window);
    view.move(16, 58);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy moves(&view, &PictureView::MouseMoved);
    QSignalSpy clicks(&view, &PictureView::Clicked);

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(&view, QPoint(-10, -3));
    QTRY_VERIFY(!moves.isEmpty());
    QCOMPARE(moves.last().at(1).toInt(), -10);
    QCOMPARE(moves.last().at(2).toInt(), -3);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(-10, -3));
    QCOMPARE(clicks.count(), 0);
}

void PictureViewTest::ClickNeedsLeftPressAndReleaseInside_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<int>("clicks");
    QTest::newRow("left inside") << Qt::LeftButton << QPoint(5, 5) << QPoint(6, 5) << 1;
    QTest::newRow("left, released outside")
        << Qt::LeftButton << QPoint(5, 5) << QPoint(5, 700) << 0;
    QTest::newRow("right inside") << Qt::RightButton << QPoint(5, 5) << QPoint(5, 5) << 0;
}

void PictureViewTest::ClickNeedsLeftPressAndReleaseInside()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);
    QFETCH(int, clicks);
    QWidget window;
    window.resize(700, 500);
    PictureView view(&window);
    view.move(16, 58);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicked(&view, &PictureView::Clicked);

    QTest::mousePress(&view, button, {}, press);
    QTest::mouseMove(&view, release);
    QTest::mouseRelease(&view, button, {}, release);
    QCOMPARE(clicked.count(), clicks);
}

void PictureViewTest::PointerPicksTheFloorOfItsPictureCoordinate_data()
{
    // Device pixels from the view's left edge, as the window system reports them.
    QTest::addColumn<double>("ratio");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("pixel");
    QTest::newRow("2, 1:1, lower-right half") << 2.0 << 1.0 << 9 << 4;
    QTest::newRow("1.25, 1:1, below border") << 1.25 << 1.0 << 4 << 3;
    QTest::newRow("1.25, 1:1, on border") << 1.25 << 1.0 << 5 << 4;
    QTest::newRow("1.5, 1:1, below border") << 1.5 << 1.0 << 44 << 29;
    QTest::newRow("1.3, 1:1, on border, inexact inverse") << 1.3 << 1.0 << 13 << 10;
    QTest::newRow("1, 1/8") << 1.0 << 0.125 << 3 << 24;
    QTest::newRow("1.25, 1/2") << 1.25 << 0.5 << 6 << 9;
    QTest::newRow("1.5, 3, below border") << 1.5 << 3.0 << 26 << 5;
    QTest::newRow("1.5, 3, on border") << 1.5 << 3.0 << 27 << 6;
    QTest::newRow("1.5, 12, on border") << 1.5 << 12.0 << 54 << 3;
    QTest::newRow("2, 16, below border") << 2.0 << 16.0 << 63 << 1;
    QTest::newRow("2, 16, on border") << 2.0 << 16.0 << 64 << 2;
}

void PictureViewTest::PointerPicksTheFloorOfItsPictureCoordinate()
{
    QFETCH(double, ratio);
    QFETCH(double, zoom);
    QFETCH(int, device);
    QFETCH(int, pixel);
    QWidget window;
    PictureView view(&window);
    view.move(20, 58);
    view.SetZoom(zoom);
    QSignalSpy moves(&view, &PictureView::MouseMoved);
    QSignalSpy clicks(&view, &PictureView::Clicked);

    // As Qt 6.4 delivers it: exact in the window (its device pixels times the inverse ratio),
    // rounded in the widget.
    const QPointF inWindow((20 * ratio + device) * (1 / ratio), 60);
    const QPointF rounded = QPointF(inWindow.toPoint()) - QPointF(20, 58);
    for (const QEvent::Type type :
         {QEvent::MouseMove, QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, rounded, inWindow, view.mapToGlobal(rounded), button, button, {});
        QApplication::sendEvent(&view, &event);
    }
    QCOMPARE(moves.last().at(1).toInt(), pixel);
    QCOMPARE(clicks.count(), 1);
}

void PictureViewTest::EveryDevicePixelShowsThePixelItPicks_data()
{
    QTest::addColumn<double>("ratio");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<bool>("fromFile"); // read from a bitmap file where it lies, not from memory
    // With marks over the picture: each device pixel shows what the picture would show with the
    // marks painted into it.
    QTest::addColumn<bool>("marked");
    for (const double ratio : {1.0, 1.25, 1.5, 1.75, 2.0})
        for (const double zoom : {0.125, 1.0, 3.0})
            QTest::addRow("%g, zoom %g", ratio, zoom) << ratio << zoom << false << false;
    for (const double ratio : {1.0, 1.5})
        for (const double zoom : {0.125, 1.0, 3.0})
            QTest::addRow("%g, zoom %g, bitmap file", ratio, zoom) << ratio << zoom << true << false;
    for (const double ratio : {1.0, 1.25, 1.5, 2.0})
        for (const double zoom : {0.125, 0.5, 1.0, 3.0, 16.0})
            QTest::addRow("%g, zoom %g, marked", ratio, zoom) << ratio << zoom << false << true;
    for (const double zoom : {0.25, 1.0, 2.0})
        QTest::addRow("1.5, zoom %g, marked palette bitmap file", zoom) << 1.5 << zoom << true << true;
}

void PictureViewTest::EveryDevicePixelShowsThePixelItPicks()
{
    QFETCH(double, ratio);
    QFETCH(double, zoom);
    QFETCH(bool, fromFile);
    QFETCH(bool, marked);
    PictureView view;
    PictureLayers layers(view);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.bmp"));
    if (fromFile) {
        // Marked: a palette bitmap, which shows each mark in its nearest entry.
        const QImage::Format format = marked ? QImage::Format_Indexed8 : QImage::Format_RGB888;
        QVERIFY(CoordinateImage({256, 256}).convertToFormat(format, Qt::ThresholdDither).save(path));
        view.LoadFromFile(path);
    } else {
        view.SetPicture(Picture(PictureKind::Bitmap, CoordinateImage({256, 256})));
    }
    view.SetZoom(zoom);
    std::vector<TCalibPoint> points;
    for (int i = 0; marked && i < 256; i += 3)
        points.push_back(At(i, i + (i & 4)));
    layers.ShowMarks(points);
    const QImage shown = view.ShownImage();
    // One logical pixel in, as a child in a window may lie: a fraction of a device pixel.
    QImage screen(QSize(100, 100) * ratio, QImage::Format_RGB32);
    screen.setDevicePixelRatio(ratio);
    screen.fill(Qt::black);
    view.render(&screen, QPoint(1, 1));

    const int end = std::min(screen.width(), int((1 + view.width()) * ratio));
    if (marked) {
        for (int y = int(std::ceil(ratio)); y < end; ++y) {
            for (int x = int(std::ceil(ratio)); x < end; ++x) {
                const QPoint picked = view.PixelAt(QPointF(x / ratio - 1, y / ratio - 1));
                QCOMPARE(screen.pixel(x, y), shown.pixel(picked));
            }
        }
        return;
    }

    // Device pixels wholly on the view: Qt clips one that its edge cuts.
    for (int device = int(std::ceil(ratio)); device < end; ++device) {
        const QPoint picked = view.PixelAt(QPointF(device / ratio - 1, device / ratio - 1));
        QCOMPARE(screen.pixel(device, device), ColourOfPixel(picked));
    }
}

void PictureViewTest::ScrolledPictureIsPickedWhereItIsShown_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QPoint>("scroll");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QPoint>("pixel");
    QTest::newRow("1:1, scrolled") << 1.0 << QPoint(500, 300) << QPoint(10, 20) << QPoint(510, 320);
    QTest::newRow("3, odd offset") << 3.0 << QPoint(10, 11) << QPoint(2, 0) << QPoint(4, 3);
    QTest::newRow("4") << 4.0 << QPoint(1001, 403) << QPoint(7, 9) << QPoint(252, 103);
    QTest::newRow("16, far corner")
        << 16.0 << QPoint(15700, 12600) << QPoint(299, 199) << QPoint(999, 799);
    QTest::newRow("1/8") << 0.125 << QPoint(0, 0) << QPoint(40, 30) << QPoint(320, 240);
}

void PictureViewTest::ScrolledPictureIsPickedWhereItIsShown()
{
    QFETCH(double, zoom);
    QFETCH(QPoint, scroll);
    QFETCH(QPoint, at);
    QFETCH(QPoint, pixel);
    PictureScrollArea area(new PictureView);
    QVERIFY(ShowMapInArea(area));
    area.ZoomTo(zoom, {});
    area.horizontalScrollBar()->setValue(scroll.x());
    area.verticalScrollBar()->setValue(scroll.y());
    QSignalSpy moves(&area.View(), &PictureView::MouseMoved);

    // Qt drops a move to where the pointer already is: the last row may have left it there.
    QTest::mouseMove(area.viewport(), at + QPoint(1, 1));
    QTest::mouseMove(area.viewport(), at);
    QTRY_VERIFY(moves.count() >= 2);
    QCOMPARE(QPoint(moves.last().at(1).toInt(), moves.last().at(2).toInt()), pixel);
    QCOMPARE(area.viewport()->grab(QRect(at, QSize(1, 1))).toImage().pixel(0, 0),
             ColourOfPixel(pixel));
}

void PictureViewTest::WheelScrollsAndZoomsAboutThePointer_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("turn");
    QTest::addColumn<QPoint>("scrolled");
    QTest::addColumn<double>("zoom");
    QTest::newRow("wheel") << Qt::KeyboardModifiers() << -120 << QPoint(0, 1) << 1.0;
    QTest::newRow("Shift + wheel")
        << Qt::KeyboardModifiers(Qt::ShiftModifier) << -120 << QPoint(1, 0) << 1.0;
    QTest::newRow("Ctrl + wheel up")
        << Qt::KeyboardModifiers(Qt::ControlModifier) << 120 << QPoint() << 2.0;
    QTest::newRow("Ctrl + wheel down")
        << Qt::KeyboardModifiers(Qt::ControlModifier) << -120 << QPoint() << 0.5;
}

void PictureViewTest::WheelScrollsAndZoomsAboutThePointer()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, turn);
    QFETCH(QPoint, scrolled);
    QFETCH(double, zoom);
    PictureScrollArea area(new PictureView);
    PictureView &view = area.View();
    QVERIFY(ShowMapInArea(area));
    area.horizontalScrollBar()->setValue(401);
    area.verticalScrollBar()->setValue(303);
    const QPointF pointer(100.75, 50.25);
    const QPoint under = view.PixelAt(pointer - view.pos());
    QSignalSpy moves(&view, &PictureView::MouseMoved);

    QWheelEvent wheel(pointer, area.mapToGlobal(pointer), {}, {0, turn}, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(area.viewport(), &wheel);
    QCOMPARE(view.Zoom(), zoom);
    const QPoint moved(area.horizontalScrollBar()->value() > 401,
                       area.verticalScrollBar()->value() > 303);
    if (zoom == 1)
        QCOMPARE(moved, scrolled);
    else if (zoom > 1)
        QCOMPARE(view.PixelAt(pointer - view.pos()), under);
    // The readout follows the picture under the still pointer, and a click there without a
    // move takes that pixel.
    const QPoint now = view.PixelAt(pointer - view.pos());
    if (now != under) {
        QVERIFY(!moves.isEmpty());
        QCOMPARE(QPoint(moves.last().at(1).toInt(), moves.last().at(2).toInt()), now);
    }
    QPoint clickedAt;
    connect(&view, &PictureView::Clicked, &view, [&] {
        if (!moves.isEmpty())
            clickedAt = QPoint(moves.last().at(1).toInt(), moves.last().at(2).toInt());
    });
    const QPointF onView = pointer - view.pos();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, onView, view.mapToGlobal(onView), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
        QApplication::sendEvent(&view, &event);
    }
    QCOMPARE(clickedAt, now);
}

void PictureViewTest::ZoomKeysWorkWhereverTheFocusIs()
{
    QWidget window;
    auto *field = new QLineEdit(&window);
    auto *area = new PictureScrollArea(new PictureView, &window);
    area->setGeometry(16, 58, 300, 200);
    area->AddZoomShortcuts(window);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    field->setFocus();

    const std::pair<QKeyCombination, double> steps[] {{Qt::CTRL | Qt::Key_Equal, 2},
                                                      {Qt::CTRL | Qt::Key_Plus, 3},
                                                      {Qt::CTRL | Qt::Key_0, 1},
                                                      {Qt::CTRL | Qt::Key_Minus, 0.5}};
    for (const auto &[keys, zoom] : steps) {
        QTest::keyClick(field, keys.key(), keys.keyboardModifiers());
        QCOMPARE(area->View().Zoom(), zoom);
    }
    QVERIFY(field->text().isEmpty());
}

// The paint goes on (the lost part shows as stored zeros); the failure reaches the general error
// handler after it, once.
void PictureViewTest::FileShortenedWhileShownIsReportedOnce()
{
    test::FakePlatform platform;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.bmp"));
    QVERIFY(CoordinateImage({600, 400}).convertToFormat(QImage::Format_RGB888).save(path));
    PictureView view;
    QObject::connect(&view, &PictureView::PaintFailed, &ErrorHandler::Handle);
    view.LoadFromFile(path);
    QVERIFY(QFile::resize(path, 4096));

    view.grab();
    QTRY_COMPARE(platform.messages.size(), std::size_t(1));
    QCOMPARE(platform.messages[0].text,
             QStringLiteral("The bitmap file was shortened while it was open."));
    const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.pixel(599, 0), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(0, 399), ColourOfPixel({0, 399}));
    QTest::qWait(10);
    QCOMPARE(platform.messages.size(), std::size_t(1));
}

QTEST_MAIN(PictureViewTest)
#include "PictureView_test.moc"
